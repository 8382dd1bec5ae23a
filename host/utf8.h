// The library's UTF-16 texts (messages, model names) as UTF-8.
#pragma once

#include <string>

namespace sidera::host {

// Converts a zero-terminated UTF-16 string to UTF-8. An unpaired surrogate
// becomes U+FFFD so that a damaged text still prints. A null pointer gives "".
std::string Utf8Of(const char16_t* text);

}  // namespace sidera::host

// Conversion of the library's UTF-16 texts for the terminal.
#pragma once

#include <string>

namespace sidera::tool {

// Converts a zero-terminated UTF-16 string to UTF-8. An unpaired surrogate
// becomes U+FFFD so that a damaged text still prints. A null pointer gives "".
std::string Utf16ToUtf8(const char16_t* text);

}  // namespace sidera::tool

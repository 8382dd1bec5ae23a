// The library's messages for its result codes, as the hosts show them.
#pragma once

#include <string>

namespace sidera::host {

// GetErrorMessage's text for `code`, as UTF-8.
std::string LibraryMessage(int code);
// The library's display name of a model (GetMountName), as UTF-8; "" when
// the library has no such model.
std::string LibraryModelName(int model);
// The library's display name of a model, else "model N".
std::string ModelLabel(int model);
// "<what>: <library message> (code N)".
std::string LibraryFailure(int code, const std::string& what);

}  // namespace sidera::host

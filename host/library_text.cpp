// The library's messages as UTF-8.
#include "host/library_text.h"

#include "host/utf8.h"
#include "sidera.h"

namespace sidera::host {

std::string LibraryMessage(int code) {
  SideraChar16 text[160] = {};
  GetErrorMessage(code, text);
  return Utf8Of(text);
}

std::string LibraryModelName(int model) {
  SideraChar16 text[160] = {};
  if (GetMountName(model, text) != SIDERA_OK) return "";
  return Utf8Of(text);
}

std::string ModelLabel(int model) {
  const std::string name = LibraryModelName(model);
  return name.empty() ? "model " + std::to_string(model) : name;
}

std::string LibraryFailure(int code, const std::string& what) {
  return what + ": " + LibraryMessage(code) + " (code " + std::to_string(code) + ")";
}

}  // namespace sidera::host

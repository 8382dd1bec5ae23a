// The Sidera library as the host sees it: loaded at run time with dlopen and
// bound operation by operation through GetOperationByOrdinal, the way the
// controller's own host binds it (the operations that have no ordinal by
// name). Nothing here links against the library: the program calls every
// operation by its C name (sidera.h), as the host session's code in host/
// does, and each name is a function of the program that calls the operation
// bound here (bound_calls.cpp, written from the operations table by the
// build). No operation may be called before Library::Load succeeded.
#pragma once

#include <string>

#include "sidera.h"
#include "sidera_operations.h"

namespace sidera::tool {

// One typed function pointer per exported operation, named after it: the
// rows of the operations table, those with an ordinal and those by name.
struct SideraApi {
#define SIDERA_TOOL_ORDINAL_SLOT(ordinal, name, result, parameters) \
  result(*name) parameters = nullptr;
#define SIDERA_TOOL_NAMED_SLOT(name, result, parameters) result(*name) parameters = nullptr;
  SIDERA_ORDINAL_OPERATIONS(SIDERA_TOOL_ORDINAL_SLOT)
  SIDERA_NAMED_OPERATIONS(SIDERA_TOOL_NAMED_SLOT)
#undef SIDERA_TOOL_ORDINAL_SLOT
#undef SIDERA_TOOL_NAMED_SLOT
};

// The operations bound by the last successful Library::Load.
const SideraApi& BoundOperations();

// Where the library is looked for: $SIDERA_LIBRARY when set, else
// <directory of this executable>/../lib/libsidera.so when that exists (a
// build tree), else the library's SONAME (libsidera.so.1) for the system's
// loader to find (an installation).
std::string DefaultLibraryPath();

class Library {
 public:
  // Loads the library and binds every operation. On failure returns false
  // and error() says what went wrong (a missing file, a missing name or
  // ordinal).
  bool Load(const std::string& path);

  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }

  // The library stays loaded until the process ends: its worker threads are
  // joined by DestroyMount, but unloading buys nothing for a short-lived tool.

 private:
  std::string error_;
  std::string path_;
};

}  // namespace sidera::tool

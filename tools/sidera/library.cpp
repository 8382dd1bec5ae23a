// Loading the library with dlopen and binding its operations by ordinal.

#include "tools/sidera/library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <type_traits>

#include "sidera_version.h"

namespace sidera::tool {
namespace {

using OrdinalLookup = void* (*)(int);

// The table the program's calls go through; written once, by the load,
// before any call.
SideraApi g_bound;

// Fills `slot` with the operation of `ordinal`; false when the library has
// none there.
template <typename F>
bool Bind(OrdinalLookup lookup, int ordinal, F& slot) {
  void* p = lookup(ordinal);
  if (p == nullptr) return false;
  slot = reinterpret_cast<F>(p);
  return true;
}

}  // namespace

const SideraApi& BoundOperations() { return g_bound; }

std::string DefaultLibraryPath() {
  if (const char* env = std::getenv("SIDERA_LIBRARY"); env != nullptr && *env != 0) return env;
  // In a build tree the library lies in ../lib beside the program. An
  // installed program finds it by its SONAME through the system's loader
  // (ld.so.cache, LD_LIBRARY_PATH), the way a linked program would.
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const auto beside = (exe.parent_path() / ".." / "lib" / "libsidera.so").lexically_normal();
    if (std::filesystem::exists(beside, ec)) return beside.string();
  }
  return SIDERA_LIBRARY_SONAME;
}

bool Library::Load(const std::string& path) {
  path_ = path;
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    error_ = std::string("cannot load ") + path + ": " + (why ? why : "unknown error");
    return false;
  }
  // The operations exported by name first: GetOperationByOrdinal among
  // them, through which the rest are bound.
  SideraApi a;
  const char* missingName = nullptr;
  auto bindName = [&](const char* name, auto& slot) {
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(handle, name));
    if (slot == nullptr && missingName == nullptr) missingName = name;
  };
#define SIDERA_TOOL_BIND_NAME(name, result, parameters) bindName(#name, a.name);
  SIDERA_NAMED_OPERATIONS(SIDERA_TOOL_BIND_NAME)
#undef SIDERA_TOOL_BIND_NAME
  if (missingName != nullptr) {
    error_ = path + " has no " + missingName;
    return false;
  }
  int firstMissing = 0;
  auto bind = [&](int ordinal, auto& slot) {
    if (!Bind(a.GetOperationByOrdinal, ordinal, slot) && firstMissing == 0) firstMissing = ordinal;
  };
#define SIDERA_TOOL_BIND_ORDINAL(ordinal, name, result, parameters) bind(ordinal, a.name);
  SIDERA_ORDINAL_OPERATIONS(SIDERA_TOOL_BIND_ORDINAL)
#undef SIDERA_TOOL_BIND_ORDINAL
  if (firstMissing != 0) {
    error_ = path + " has no operation at ordinal " + std::to_string(firstMissing);
    return false;
  }
  g_bound = a;
  return true;
}

}  // namespace sidera::tool

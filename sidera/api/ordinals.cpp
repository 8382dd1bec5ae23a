// The operations by ordinal number, for hosts that bind the table by number
// rather than by name.
#include <type_traits>

#include "sidera/include/sidera.h"
#include "sidera/include/sidera_operations.h"

namespace {

template <typename Function>
void* AsPointer(Function* function) {
  return reinterpret_cast<void*>(function);
}

// The table's rows and the declarations in sidera.h must agree: a row whose
// types differ from the declaration would hand hosts a pointer they call
// with the wrong arguments.
#define SIDERA_SAME_TYPE(name, result, parameters) \
  static_assert(std::is_same_v<decltype(&name), result(*) parameters>, #name);
#define SIDERA_CHECK_ORDINAL_ROW(ordinal, name, result, parameters) \
  SIDERA_SAME_TYPE(name, result, parameters)
SIDERA_ORDINAL_OPERATIONS(SIDERA_CHECK_ORDINAL_ROW)
SIDERA_NAMED_OPERATIONS(SIDERA_SAME_TYPE)
#undef SIDERA_CHECK_ORDINAL_ROW
#undef SIDERA_SAME_TYPE

}  // namespace

extern "C" SIDERA_API void* GetOperationByOrdinal(int ordinal) {
  switch (ordinal) {
#define SIDERA_ORDINAL_CASE(number, name, result, parameters) \
  case number:                                                \
    return AsPointer(&name);
    SIDERA_ORDINAL_OPERATIONS(SIDERA_ORDINAL_CASE)
#undef SIDERA_ORDINAL_CASE
    default:
      return nullptr;
  }
}

/* A minimal host: links the installed library, calls one operation by name
 * and binds every ordinal through the installed operations table. What the
 * operations answer is checked by the C host test (tests/api_c). */
#include <sidera.h>
#include <sidera_operations.h>
#include <stdio.h>

static int SameText(const SideraChar16* a, const char* ascii) {
  size_t i = 0;
  for (; ascii[i] != '\0'; ++i) {
    if (a[i] != (SideraChar16)ascii[i]) return 0;
  }
  return a[i] == 0;
}

int main(void) {
  SideraChar16 text[80];
  int failures = 0;

  if (GetMountName(6, text) != 0 || !SameText(text, "EQ Mount Simulator")) {
    fprintf(stderr, "GetMountName(6) wrong\n");
    ++failures;
  }
  /* Each row's types agree with its declaration (a mismatch is a compile
   * error here) and its ordinal is bound. */
#define BIND_ROW(ordinal, name, result, parameters)                   \
  {                                                                   \
    result(*declared) parameters = name;                              \
    if (declared == NULL || !GetOperationByOrdinal(ordinal)) {        \
      fprintf(stderr, "ordinal %d (%s) not bound\n", ordinal, #name); \
      ++failures;                                                     \
    }                                                                 \
  }
  SIDERA_ORDINAL_OPERATIONS(BIND_ROW)
#undef BIND_ROW
  if (failures == 0) printf("host OK\n");
  return failures == 0 ? 0 : 1;
}

/* A minimal host: links the installed library, binds one operation by name
 * and one by ordinal, binds every ordinal through the installed operations
 * table, and checks a few answers that need no mount. */
#include <math.h>
#include <sidera.h>
#include <sidera_operations.h>
#include <stdio.h>
#include <string.h>

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
  GetErrorMessage(3, text);
  if (!SameText(text, "Haven't connecte to a telescope")) {
    fprintf(stderr, "GetErrorMessage(3) wrong\n");
    ++failures;
  }
  if (CreateMount(12, 0.5, 0.0) != 1 || DestroyMount() != 0 || GotoSky(0.0, 0.0) != 3) {
    fprintf(stderr, "mount lifecycle codes wrong\n");
    ++failures;
  }

  typedef double (*SiderealFn)(CivilDateTime, double, int);
  SiderealFn sidereal = (SiderealFn)GetOperationByOrdinal(90);
  CivilDateTime noon = {2000, 1, 6, 1, 12, 0, 0, 0};
  if (sidereal == NULL || fabs(sidereal(noon, 0.0, 0) - 4.8949612127332935) > 1e-9) {
    fprintf(stderr, "ordinal 90 wrong\n");
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

// Every case of the pointing suite, of which the suites run a slice in every
// build: each hardware model's goto end (its distance from the target is
// printed), the tracking holds aligned and unaligned on every alt-azimuth
// family, and the many-star model on three families. A failing case fails
// the program.
#define SIDERA_POINTING_WHOLE 1
#include "tests/pointing/pointing_test.cpp"

// The whole table of stops in the middle of an exchange (144 rows: every
// family, reply delay, motion and moment), of which the line-safety suite
// runs one row in seven in every build. It prints how many rows ran and how
// long they took; a failing row fails the program.
#define SIDERA_STOP_TABLE_WHOLE 1
#include "tests/line_safety/stop_table_test.cpp"

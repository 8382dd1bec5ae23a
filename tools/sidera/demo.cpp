#include "tools/sidera/commands.h"

namespace sidera::tool {

int CommandDemo(const Words&, bool) { return 2; }

}  // namespace sidera::tool

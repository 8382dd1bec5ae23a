// Library status codes as Alpaca error numbers.
#include "alpaca/alpaca_errors.h"

namespace sidera::alpaca {

int AlpacaNumberOf(int libraryCode) {
  switch (libraryCode) {
    case 3:
      return kNotConnected;
    case 4:
    case 103:
    case 104:
    case 400:
      return kInvalidValue;
    case 102:
      return kInvalidOperation;
    case 300:
      return kNotImplemented;
    default:
      return kDriverError + libraryCode;
  }
}

}  // namespace sidera::alpaca

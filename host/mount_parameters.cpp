// What the connected mount decided at connect, from the library.
#include "host/model_facts.h"
#include "sidera.h"

namespace sidera::host {

double ConnectedGotoToleranceDegrees(double fallback) {
  double tolerance = 0;
  if (GetGotoParameters(nullptr, nullptr, &tolerance, nullptr) != SIDERA_OK) return fallback;
  return tolerance * 180.0 / 3.141592653589793;
}

}  // namespace sidera::host

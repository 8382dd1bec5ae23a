// The request limits every controller emulator plays: hang up after a number
// of requests, or fall silent (line open) at once or after a number of them.
// `Options` has closeAfterRequests, silent and silentAfterRequests (-1: no
// limit); `served` counts the requests served since construction.
#pragma once

namespace sidera::emulator {

template <typename Options>
bool CloseLimitReached(const Options& options, int served) {
  return options.closeAfterRequests >= 0 && served >= options.closeAfterRequests;
}

template <typename Options>
bool Silenced(const Options& options, int served) {
  return options.silent ||
         (options.silentAfterRequests >= 0 && served > options.silentAfterRequests);
}

}  // namespace sidera::emulator

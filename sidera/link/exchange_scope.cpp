// The per-thread scope of guarded motion commands.
#include "sidera/link/exchange_scope.h"

namespace sidera {

namespace {

thread_local ExchangeGuard* t_guard = nullptr;

}  // namespace

ExchangeGuard::ExchangeGuard(std::function<bool()> wanted)
    : wanted_(std::move(wanted)), outer_(t_guard) {
  t_guard = this;
}

ExchangeGuard::~ExchangeGuard() { t_guard = outer_; }

bool ExchangeGuard::Allows() {
  bool allowed = true;
  for (ExchangeGuard* g = t_guard; g != nullptr; g = g->outer_) {
    if (!g->wanted_()) allowed = false;
  }
  if (!allowed) {
    for (ExchangeGuard* g = t_guard; g != nullptr; g = g->outer_) g->tripped_ = true;
  }
  return allowed;
}

}  // namespace sidera

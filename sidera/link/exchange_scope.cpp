// The per-thread scopes of urgent exchanges and guarded motion commands.
#include "sidera/link/exchange_scope.h"

namespace sidera {

namespace {

thread_local bool t_urgent = false;
thread_local bool t_readOut = false;
thread_local bool t_shared = false;
thread_local ExchangeGuard* t_guard = nullptr;

}  // namespace

UrgentExchanges::UrgentExchanges() : previous_(t_urgent) { t_urgent = true; }

UrgentExchanges::~UrgentExchanges() { t_urgent = previous_; }

bool UrgentExchanges::Active() { return t_urgent; }

ReadOutExchanges::ReadOutExchanges() : previous_(t_readOut) { t_readOut = true; }

ReadOutExchanges::~ReadOutExchanges() { t_readOut = previous_; }

bool ReadOutExchanges::Active() { return t_readOut; }

SharedReadOuts::SharedReadOuts() : previous_(t_shared) { t_shared = true; }

SharedReadOuts::~SharedReadOuts() { t_shared = previous_; }

bool SharedReadOuts::Active() { return t_shared; }

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

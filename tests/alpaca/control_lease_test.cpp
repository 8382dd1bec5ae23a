// The pad's leases: held while renewed, stopped on release or lapse, and never
// stopping a newer move that replaced them.
#include "alpaca/control_lease.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace sidera::alpaca {
namespace {

using namespace std::chrono_literals;

class ControlLeaseTest : public ::testing::Test {
 protected:
  std::vector<int> Stops() {
    std::lock_guard<std::mutex> lock(mutex_);
    return stops_;
  }
  // Waits (generously) for `count` stops.
  bool AwaitStops(size_t count) {
    for (int i = 0; i < 500 && Stops().size() < count; ++i) std::this_thread::sleep_for(10ms);
    return Stops().size() >= count;
  }

  std::mutex mutex_;
  std::vector<int> stops_;
  int moves_ = 0;
  ControlLease lease_{[this](int axis) {
                        std::lock_guard<std::mutex> lock(mutex_);
                        stops_.push_back(axis);
                      },
                      100ms};
};

TEST_F(ControlLeaseTest, RenewedLeaseHoldsThenLapsesAndStopsItsAxis) {
  const uint64_t id = lease_.Start(1, [&] { ++moves_; });
  EXPECT_EQ(moves_, 1);
  for (int i = 0; i < 10; ++i) {  // five terms, renewed at twice the rate
    std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(lease_.Renew(id));
  }
  EXPECT_TRUE(Stops().empty());
  ASSERT_TRUE(AwaitStops(1));
  EXPECT_EQ(Stops(), std::vector<int>{1});
  EXPECT_FALSE(lease_.Renew(id));
  EXPECT_FALSE(lease_.Release(id));
  EXPECT_EQ(lease_.Held(), 0);
}

TEST_F(ControlLeaseTest, ReleaseStopsOnceAndAtOnce) {
  const uint64_t id = lease_.Start(0, [] {});
  EXPECT_TRUE(lease_.Release(id));
  EXPECT_EQ(Stops(), std::vector<int>{0});  // on the releasing thread, before it returns
  EXPECT_FALSE(lease_.Release(id));
  std::this_thread::sleep_for(300ms);  // no lapse comes after it
  EXPECT_EQ(Stops().size(), 1u);
}

TEST_F(ControlLeaseTest, ANewerMoveOfTheAxisIsNeverStoppedByTheOlderLease) {
  const uint64_t older = lease_.Start(0, [] {});
  const uint64_t other = lease_.Start(1, [] {});
  const uint64_t newer = lease_.Start(0, [] {});
  EXPECT_FALSE(lease_.Renew(older));
  EXPECT_FALSE(lease_.Release(older));
  EXPECT_EQ(lease_.Held(), 2);
  EXPECT_TRUE(Stops().empty());
  EXPECT_TRUE(lease_.Release(newer));
  EXPECT_TRUE(lease_.Release(other));
  EXPECT_EQ(Stops(), (std::vector<int>{0, 1}));
}

TEST_F(ControlLeaseTest, AMoveThatFailsLeavesNoLeaseAndForgetStopsNothing) {
  EXPECT_THROW(lease_.Start(0, [] { throw std::runtime_error("parked"); }), std::runtime_error);
  EXPECT_EQ(lease_.Held(), 0);
  (void)lease_.Start(0, [] {});
  (void)lease_.Start(1, [] {});
  lease_.Forget();  // everything was stopped another way
  std::this_thread::sleep_for(300ms);
  EXPECT_TRUE(Stops().empty());
  EXPECT_EQ(lease_.Held(), 0);
}

TEST(ControlLeaseFailure, AStopThatFailsStillEndsTheLease) {
  int tries = 0;
  std::mutex mutex;
  ControlLease lease(
      [&](int) {
        std::lock_guard<std::mutex> lock(mutex);
        ++tries;
        throw std::runtime_error("the mount did not answer");
      },
      50ms);
  (void)lease.Start(0, [] {});
  for (int i = 0; i < 500 && lease.Held() != 0; ++i) std::this_thread::sleep_for(10ms);
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(lease.Held(), 0);
  std::lock_guard<std::mutex> lock(mutex);
  EXPECT_EQ(tries, 1);
}

}  // namespace
}  // namespace sidera::alpaca

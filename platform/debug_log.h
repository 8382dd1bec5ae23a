// A debug log for users to send us when a mount misbehaves.
//
// SIDERA_DEBUG switches it on: "1" or "all" for every topic, or a list of
// topic names separated by commas or spaces ("io", "motion"); anything else,
// or nothing, leaves it off. The variable is read when the library is loaded
// and again by every CreateMount, so a host can switch the log on through its
// environment before it creates a mount. A host with threads of its own
// chooses the topics with the SetDebugTopics export instead (changing the
// environment while other threads may read it is not safe).
//
// Each line goes to standard error in one write, as
//   sidera 2024-05-01 21:14:03.527 io [t4711] <text>
// (local time, topic, system thread id). When a topic is off, SIDERA_DEBUG_LOG
// costs one relaxed atomic load and one branch: its arguments are not even
// evaluated.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace sidera::platform {

enum class DebugTopic : uint32_t {
  kIo = 1u << 0,      // port opening and its reason; every exchange's bytes and duration
  kMotion = 1u << 1,  // hand-overs between motion threads, goto passes
};

inline constexpr uint32_t kAllDebugTopics = 0x3u;

namespace debug_detail {
// The topics switched on, as DebugTopic bits. Written by ReloadDebugTopics.
extern std::atomic<uint32_t> g_topics;
}  // namespace debug_detail

inline bool DebugEnabled(DebugTopic topic) {
  return (debug_detail::g_topics.load(std::memory_order_relaxed) & static_cast<uint32_t>(topic)) !=
         0;
}

// The topic bits a SIDERA_DEBUG value selects (null or empty: none).
uint32_t ParseDebugTopics(const char* text);

// Reads SIDERA_DEBUG again and switches the topics accordingly, unless a
// program has chosen the topics with SetDebugTopics.
void ReloadDebugTopics();
// Switches the topics named by `text` (as in SIDERA_DEBUG) on, and every
// other off, at once; from then on SIDERA_DEBUG is not read any more. Null
// goes back to following SIDERA_DEBUG (and reads it now).
void SetDebugTopics(const char* text);

// Writes one line of `topic` (printf-style format, no newline needed). Use
// SIDERA_DEBUG_LOG, which checks the topic first.
void DebugPrint(DebugTopic topic, const char* format, ...) __attribute__((format(printf, 2, 3)));

// "3B 03 32 10 01 BA": the bytes in hex, separated by spaces.
std::string HexBytes(const uint8_t* bytes, size_t length);

}  // namespace sidera::platform

// Writes a line when `topic` (a DebugTopic enumerator name such as kIo) is on;
// otherwise evaluates nothing.
#define SIDERA_DEBUG_LOG(topic, ...)                                                      \
  do {                                                                                    \
    if (::sidera::platform::DebugEnabled(::sidera::platform::DebugTopic::topic)) {        \
      ::sidera::platform::DebugPrint(::sidera::platform::DebugTopic::topic, __VA_ARGS__); \
    }                                                                                     \
  } while (0)

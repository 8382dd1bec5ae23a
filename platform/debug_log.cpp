// The SIDERA_DEBUG switch and the line writer of the debug log.

#include "platform/debug_log.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace sidera::platform {

namespace debug_detail {
std::atomic<uint32_t> g_topics{0};
}  // namespace debug_detail

namespace {

struct TopicName {
  const char* name;
  uint32_t bits;
};

constexpr TopicName kTopicNames[] = {
    {"1", kAllDebugTopics},
    {"all", kAllDebugTopics},
    {"io", static_cast<uint32_t>(DebugTopic::kIo)},
    {"motion", static_cast<uint32_t>(DebugTopic::kMotion)},
};

const char* TopicLabel(DebugTopic topic) {
  switch (topic) {
    case DebugTopic::kIo:
      return "io";
    case DebugTopic::kMotion:
      return "motion";
  }
  return "?";
}

// The library reads the switch as it is loaded, so a host that sets
// SIDERA_DEBUG before starting needs nothing else.
[[maybe_unused]] const bool g_readAtLoad = (ReloadDebugTopics(), true);

}  // namespace

uint32_t ParseDebugTopics(const char* text) {
  if (text == nullptr) return 0;
  uint32_t bits = 0;
  const char* p = text;
  while (*p != '\0') {
    while (*p == ',' || std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* start = p;
    while (*p != '\0' && *p != ',' && !std::isspace(static_cast<unsigned char>(*p))) ++p;
    const size_t length = static_cast<size_t>(p - start);
    if (length == 0) continue;
    for (const TopicName& topic : kTopicNames) {
      if (std::strlen(topic.name) == length && strncasecmp(topic.name, start, length) == 0) {
        bits |= topic.bits;
      }
    }
  }
  return bits;
}

namespace {

// Set while the topics come from SetDebugTopics rather than the environment.
std::atomic<bool> g_topicsChosen{false};

}  // namespace

void ReloadDebugTopics() {
  if (g_topicsChosen.load()) return;
  debug_detail::g_topics.store(ParseDebugTopics(std::getenv("SIDERA_DEBUG")),
                               std::memory_order_relaxed);
}

void SetDebugTopics(const char* text) {
  g_topicsChosen = text != nullptr;
  if (text == nullptr) {
    ReloadDebugTopics();
    return;
  }
  debug_detail::g_topics.store(ParseDebugTopics(text), std::memory_order_relaxed);
}

void DebugPrint(DebugTopic topic, const char* format, ...) {
  const int savedErrno = errno;  // a log line must not disturb the caller's error

  timespec now{};
  (void)clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  (void)localtime_r(&now.tv_sec, &local);
  char stamp[32];
  (void)std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);

  std::string line(160, '\0');
  int prefix = std::snprintf(line.data(), line.size(), "sidera %s.%03ld %s [t%ld] ", stamp,
                             static_cast<long>(now.tv_nsec / 1000000), TopicLabel(topic),
                             static_cast<long>(::syscall(SYS_gettid)));
  if (prefix < 0) prefix = 0;
  line.resize(static_cast<size_t>(prefix));

  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length > 0) {
    line.resize(static_cast<size_t>(prefix) + static_cast<size_t>(length) + 1);
    (void)std::vsnprintf(line.data() + prefix, static_cast<size_t>(length) + 1, format, again);
    line.back() = '\n';
  } else {
    line.push_back('\n');
  }
  va_end(again);

  // One write per line, so lines of different threads do not interleave.
  size_t written = 0;
  while (written < line.size()) {
    const ssize_t n = ::write(STDERR_FILENO, line.data() + written, line.size() - written);
    if (n > 0) {
      written += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // standard error is closed or full: the line is lost, nothing else
    }
  }
  errno = savedErrno;
}

std::string HexBytes(const uint8_t* bytes, size_t length) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  if (bytes == nullptr) return text;
  text.reserve(length * 3);
  for (size_t i = 0; i < length; ++i) {
    if (i != 0) text.push_back(' ');
    text.push_back(kDigits[bytes[i] >> 4]);
    text.push_back(kDigits[bytes[i] & 0x0F]);
  }
  return text;
}

}  // namespace sidera::platform

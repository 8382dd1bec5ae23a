// A small INDI client for the tests: speaks the XML protocol to a server over
// TCP and keeps, in order, every property definition, update and message it
// receives, so a test can wait for a state that only lasts a moment.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace sidera::indi::test {

struct IndiUpdate {
  std::string tag;       // defNumberVector, setSwitchVector, message...
  std::string property;  // "" for a message
  std::string state;     // Idle, Ok, Busy, Alert
  std::string message;
  std::map<std::string, std::string> values;

  double Number(const std::string& element) const;
  bool On(const std::string& element) const {
    return values.count(element) && values.at(element) == "On";
  }
};

class IndiClient {
 public:
  explicit IndiClient(std::string device = "Sidera Mount") : device_(std::move(device)) {}
  ~IndiClient() { Close(); }
  IndiClient(const IndiClient&) = delete;
  IndiClient& operator=(const IndiClient&) = delete;

  // Connects to a server (closing any earlier connection) and asks for its
  // properties; what was received before is forgotten.
  bool Connect(int port);
  void Close();
  void Send(const std::string& xml);
  void SetSwitch(const std::string& property, const std::map<std::string, bool>& elements);
  void SetNumber(const std::string& property, const std::map<std::string, double>& elements);
  void SetText(const std::string& property, const std::map<std::string, std::string>& elements);

  // The position in the record of updates, for waiting on what comes next.
  size_t Mark();
  // The first update of `property` from position `from` on that `match`
  // accepts, waiting up to `seconds` for it to arrive.
  std::optional<IndiUpdate> WaitFor(const std::string& property,
                                    const std::function<bool(const IndiUpdate&)>& match,
                                    double seconds, size_t from);
  // The first update or message from `from` on whose text contains `text`.
  std::optional<IndiUpdate> WaitForMessage(const std::string& text, double seconds, size_t from);
  // The property as last reported (all its elements merged), after reading
  // what has arrived.
  IndiUpdate Latest(const std::string& property);
  // Every message text received since `from`, one per line (for failure output).
  std::string Messages(size_t from) const;

 private:
  bool Pump(int timeoutMs);

  std::string device_;
  int fd_ = -1;
  void* parser_ = nullptr;
  std::vector<IndiUpdate> updates_;
  std::map<std::string, IndiUpdate> latest_;
};

// Matches an update whose state is `state`.
std::function<bool(const IndiUpdate&)> StateIs(const std::string& state);

}  // namespace sidera::indi::test

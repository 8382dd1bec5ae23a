// The tests' INDI client: XML over TCP, parsed with INDI's own XML reader.
#include "tests/indi/indi_client.h"

#include <arpa/inet.h>
#include <lilxml.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace sidera::indi::test {
namespace {

std::string Attribute(XMLEle* e, const char* name) {
  const char* v = findXMLAttValu(e, name);
  return v != nullptr ? v : "";
}

std::string Trimmed(const char* text) {
  std::string s = text != nullptr ? text : "";
  const size_t b = s.find_first_not_of(" \t\r\n");
  const size_t e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '<')
      out += "&lt;";
    else if (c == '&')
      out += "&amp;";
    else if (c == '\'')
      out += "&apos;";
    else
      out += c;
  }
  return out;
}

}  // namespace

double IndiUpdate::Number(const std::string& element) const {
  const auto it = values.find(element);
  return it == values.end() ? NAN : std::strtod(it->second.c_str(), nullptr);
}

std::function<bool(const IndiUpdate&)> StateIs(const std::string& state) {
  return [state](const IndiUpdate& u) { return u.state == state; };
}

void IndiClient::Close() {
  if (fd_ >= 0) close(fd_);
  if (parser_ != nullptr) delLilXML(static_cast<LilXML*>(parser_));
  fd_ = -1;
  parser_ = nullptr;
  updates_.clear();
  latest_.clear();
}

bool IndiClient::Connect(int port) {
  Close();
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return false;
  parser_ = newLilXML();
  Send("<getProperties version='1.7'/>\n");
  return true;
}

void IndiClient::Send(const std::string& xml) {
  size_t sent = 0;
  while (sent < xml.size()) {
    const ssize_t n = write(fd_, xml.data() + sent, xml.size() - sent);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

void IndiClient::SetSwitch(const std::string& property,
                           const std::map<std::string, bool>& elements) {
  std::ostringstream x;
  x << "<newSwitchVector device='" << device_ << "' name='" << property << "'>";
  for (const auto& [name, on] : elements) {
    x << "<oneSwitch name='" << name << "'>" << (on ? "On" : "Off") << "</oneSwitch>";
  }
  x << "</newSwitchVector>\n";
  Send(x.str());
}

void IndiClient::SetNumber(const std::string& property,
                           const std::map<std::string, double>& elements) {
  std::ostringstream x;
  x.precision(17);
  x << "<newNumberVector device='" << device_ << "' name='" << property << "'>";
  for (const auto& [name, value] : elements) {
    x << "<oneNumber name='" << name << "'>" << value << "</oneNumber>";
  }
  x << "</newNumberVector>\n";
  Send(x.str());
}

void IndiClient::SetText(const std::string& property,
                         const std::map<std::string, std::string>& elements) {
  std::ostringstream x;
  x << "<newTextVector device='" << device_ << "' name='" << property << "'>";
  for (const auto& [name, value] : elements) {
    x << "<oneText name='" << name << "'>" << Escaped(value) << "</oneText>";
  }
  x << "</newTextVector>\n";
  Send(x.str());
}

bool IndiClient::Pump(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return false;
  char buffer[8192];
  const ssize_t n = read(fd_, buffer, sizeof buffer);
  if (n <= 0) return false;
  for (ssize_t i = 0; i < n; ++i) {
    char error[1024];
    XMLEle* root = readXMLEle(static_cast<LilXML*>(parser_), buffer[i], error);
    if (root == nullptr) continue;
    IndiUpdate u;
    u.tag = tagXMLEle(root);
    u.property = Attribute(root, "name");
    u.state = Attribute(root, "state");
    u.message = Attribute(root, "message");
    if (u.tag == "message") u.property.clear();
    for (XMLEle* e = nextXMLEle(root, 1); e != nullptr; e = nextXMLEle(root, 0)) {
      u.values[Attribute(e, "name")] = Trimmed(pcdataXMLEle(e));
    }
    delXMLEle(root);
    if (u.tag.rfind("del", 0) == 0) {
      latest_.erase(u.property);
    } else if (!u.property.empty()) {
      IndiUpdate& merged = latest_[u.property];
      merged.property = u.property;
      merged.tag = u.tag;
      if (!u.state.empty()) merged.state = u.state;
      merged.message = u.message;
      for (const auto& [k, v] : u.values) merged.values[k] = v;
    }
    updates_.push_back(std::move(u));
  }
  return true;
}

size_t IndiClient::Mark() {
  while (Pump(0)) {
  }
  return updates_.size();
}

std::optional<IndiUpdate> IndiClient::WaitFor(const std::string& property,
                                              const std::function<bool(const IndiUpdate&)>& match,
                                              double seconds, size_t from) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (size_t i = from;;) {
    for (; i < updates_.size(); ++i) {
      if (updates_[i].property == property && match(updates_[i])) return updates_[i];
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    Pump(static_cast<int>(left.count()));
  }
}

std::optional<IndiUpdate> IndiClient::WaitForMessage(const std::string& text, double seconds,
                                                     size_t from) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (size_t i = from;;) {
    for (; i < updates_.size(); ++i) {
      if (updates_[i].message.find(text) != std::string::npos) return updates_[i];
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    Pump(static_cast<int>(left.count()));
  }
}

IndiUpdate IndiClient::Latest(const std::string& property) {
  Mark();
  const auto it = latest_.find(property);
  return it == latest_.end() ? IndiUpdate{} : it->second;
}

std::string IndiClient::Messages(size_t from) const {
  std::string text;
  for (size_t i = from; i < updates_.size(); ++i) {
    if (!updates_[i].message.empty()) text += updates_[i].message + "\n";
  }
  return text;
}

}  // namespace sidera::indi::test

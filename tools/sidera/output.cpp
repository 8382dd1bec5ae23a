// Result lines for a person or JSON objects for scripts.

#include "tools/sidera/output.h"

#include <unistd.h>

#include "tools/sidera/format.h"

namespace sidera::tool {

void JsonObject::Key(const std::string& key) {
  if (!body_.empty()) body_ += ",";
  body_ += JsonString(key) + ":";
}

JsonObject& JsonObject::Add(const std::string& key, const std::string& text) {
  Key(key);
  body_ += JsonString(text);
  return *this;
}

JsonObject& JsonObject::Add(const std::string& key, double number) {
  Key(key);
  body_ += JsonNumber(number);
  return *this;
}

JsonObject& JsonObject::Add(const std::string& key, int number) {
  Key(key);
  body_ += std::to_string(number);
  return *this;
}

JsonObject& JsonObject::Add(const std::string& key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonObject& JsonObject::AddRaw(const std::string& key, const std::string& json) {
  Key(key);
  body_ += json;
  return *this;
}

Output::Output(bool json) : json_(json), terminal_(isatty(STDOUT_FILENO) != 0) {}

void Output::Text(const std::string& line) {
  if (json_) return;
  EndProgress();
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Output::Json(const JsonObject& object) {
  if (!json_) return;
  std::fputs(object.str().c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void Output::Progress(const std::string& line) {
  if (json_) return;
  if (terminal_) {
    // Carriage return, the line, then clear what a longer previous line left.
    std::fprintf(stdout, "\r%s\x1b[K", line.c_str());
    progressOpen_ = true;
  } else {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPlainProgress_ < std::chrono::seconds(1)) return;
    lastPlainProgress_ = now;
    std::fprintf(stdout, "%s\n", line.c_str());
  }
  std::fflush(stdout);
}

void Output::EndProgress() {
  if (!progressOpen_) return;
  std::fputc('\n', stdout);
  progressOpen_ = false;
  std::fflush(stdout);
}

void Output::Error(const std::string& line) {
  EndProgress();
  std::fprintf(stderr, "%s\n", line.c_str());
}

void Output::Failure(const std::string& step, const std::string& kind, const std::string& line,
                     const JsonObject& data) {
  Error(line);
  const std::string prefix = "sidera: ";
  const std::string message = line.rfind(prefix, 0) == 0 ? line.substr(prefix.size()) : line;
  Json(JsonObject()
           .Add("step", step)
           .Add("ok", false)
           .Add("error", kind)
           .AddRaw("code", "null")
           .Add("message", message)
           .AddRaw("data", data.str()));
}

}  // namespace sidera::tool

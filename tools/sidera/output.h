// Where the tool's results go: readable lines for a person (with a progress
// line redrawn in place on a terminal), or one JSON object per line with
// --json for scripts.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

namespace sidera::tool {

// Builds one flat JSON object, keys in insertion order.
class JsonObject {
 public:
  JsonObject& Add(const std::string& key, const std::string& text);
  JsonObject& Add(const std::string& key, const char* text) { return Add(key, std::string(text)); }
  JsonObject& Add(const std::string& key, double number);
  JsonObject& Add(const std::string& key, int number);
  JsonObject& Add(const std::string& key, bool value);
  // `json` must already be valid JSON (an array or object built elsewhere).
  JsonObject& AddRaw(const std::string& key, const std::string& json);
  std::string str() const { return body_.empty() ? "{}" : "{" + body_ + "}"; }

 private:
  void Key(const std::string& key);
  std::string body_;
};

class Output {
 public:
  // `json`: machine output. The progress line is redrawn in place only when
  // stdout is a terminal.
  explicit Output(bool json);

  bool json() const { return json_; }
  // A line of the readable form (ignored with --json).
  void Text(const std::string& line);
  // One JSON object on a line of its own (ignored without --json).
  void Json(const JsonObject& object);
  // Progress of a long motion: redrawn in place on a terminal; as plain
  // lines, at most one a second, otherwise; never in JSON.
  void Progress(const std::string& line);
  // Ends a progress line so that the next text starts on a fresh line.
  void EndProgress();
  // Problems go to stderr in both forms.
  void Error(const std::string& line);
  // A failure before or outside the steps (bad usage, a plan that does not
  // hold, a device or site that cannot work): the line on stderr and, with
  // --json, an object shaped as a failed step's on stdout: "step", "ok"
  // (false), "error" (`kind`), "code" (null), "message" (the line less its
  // "sidera: "), "data".
  void Failure(const std::string& step, const std::string& kind, const std::string& line,
               const JsonObject& data = JsonObject());

 private:
  bool json_;
  bool terminal_;
  bool progressOpen_ = false;
  std::chrono::steady_clock::time_point lastPlainProgress_{};
};

}  // namespace sidera::tool

// Reading the meaning column of a transcript, for the family codecs.
#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "tests/transcripts/transcript.h"

namespace sidera::transcripts {

Meaning SplitMeaning(const std::string& text) {
  Meaning m;
  const size_t equals = text.find('=');
  std::istringstream words(text.substr(0, equals));
  words >> m.message;
  for (std::string word; words >> word;) m.arguments.push_back(word);
  if (!m.arguments.empty() && (m.arguments[0] == "0" || m.arguments[0] == "1")) {
    m.axis = m.arguments[0][0] - '0';
    if (m.arguments.size() > 1) m.argument = m.arguments[1];
  }
  if (equals != std::string::npos) {
    std::istringstream result(text.substr(equals + 1));
    for (std::string word; result >> word;) m.result += (m.result.empty() ? "" : " ") + word;
  }
  m.noReply = m.result == "no reply";
  return m;
}

double Quantity(const std::string& text,
                std::initializer_list<std::pair<const char*, double>> units) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str()) {
    for (const auto& [unit, factor] : units) {
      if (std::string(end) == unit) return value * factor;
    }
  }
  return std::numeric_limits<double>::quiet_NaN();
}

int ByteValue(const std::string& text) {
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 0);
  const bool whole = !text.empty() && *end == '\0';
  return whole && value >= 0 && value <= 255 ? static_cast<int>(value) : -1;
}

std::string Verdict(const Meaning& meaning, int result, int noReplyCode, bool wroteValue,
                    const std::function<std::string()>& checkValue) {
  if (meaning.noReply) {
    if (result != noReplyCode) return "returned " + std::to_string(result) + ", not no reply";
    return wroteValue ? "handed out a value without a reply" : "";
  }
  if (result != 0) return "returned " + std::to_string(result);
  if (meaning.result.empty()) return "";
  return checkValue ? checkValue() : "decodes nothing, yet the meaning names a result";
}

}  // namespace sidera::transcripts

// Reading and rewriting transcript data files, and the family registry.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/transcripts/transcript.h"

namespace sidera::transcripts {

namespace {

std::string Trim(const std::string& s) {
  const size_t first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

bool ParseHex(const std::string& text, Bytes* out) {
  std::istringstream in(text);
  std::string token;
  while (in >> token) {
    if (token.size() != 2 || !std::isxdigit(static_cast<unsigned char>(token[0])) ||
        !std::isxdigit(static_cast<unsigned char>(token[1]))) {
      return false;
    }
    out->push_back(static_cast<uint8_t>(std::strtoul(token.c_str(), nullptr, 16)));
  }
  return true;
}

// A step line's three fields; the reply field ends at a '#' comment.
struct StepFields {
  std::string meaning, request, reply, comment;  // raw, spacing kept
};

bool SplitStep(const std::string& line, StepFields* f) {
  const size_t bar1 = line.find('|');
  const size_t bar2 = bar1 == std::string::npos ? bar1 : line.find('|', bar1 + 1);
  if (bar2 == std::string::npos || line.find('|', bar2 + 1) != std::string::npos) return false;
  f->meaning = line.substr(0, bar1);
  f->request = line.substr(bar1 + 1, bar2 - bar1 - 1);
  f->reply = line.substr(bar2 + 1);
  const size_t hash = f->reply.find('#');
  if (hash != std::string::npos) {
    f->comment = f->reply.substr(hash);
    f->reply.resize(hash);
  }
  return true;
}

// The bytes in place of a field's old contents, the field kept as wide.
std::string Refill(const std::string& field, const Bytes& bytes) {
  std::string out(1, ' ');
  out.append(Hex(bytes)).push_back(' ');
  if (out.size() < field.size()) out.resize(field.size(), ' ');
  return out;
}

std::vector<FamilyCodec>& Registry() {
  static std::vector<FamilyCodec> families;
  return families;
}

}  // namespace

std::string Hex(const Bytes& bytes) {
  std::string out;
  char digits[4];
  for (uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    if (!out.empty()) out += ' ';
    out += digits;
  }
  return out;
}

TranscriptFile ReadTranscript(const std::string& path) {
  TranscriptFile file;
  file.path = path;
  std::ifstream in(path);
  if (!in) {
    file.error = path + ": cannot be read";
    return file;
  }
  for (std::string line; std::getline(in, line);) file.lines.push_back(line);
  for (size_t i = 0; i < file.lines.size() && file.error.empty(); ++i) {
    const std::string text = Trim(file.lines[i]);
    const int number = static_cast<int>(i) + 1;
    const std::string where = path + ":" + std::to_string(number) + ": ";
    if (text.empty() || text[0] == '#') continue;
    if (text.rfind("session ", 0) == 0) {
      Session session;
      session.name = Trim(text.substr(8));
      const std::string_view kDriverOnly = "(driver only)";
      session.driverOnly = session.name.ends_with(kDriverOnly);
      if (session.driverOnly)
        session.name = Trim(session.name.erase(session.name.size() - kDriverOnly.size()));
      file.sessions.push_back(session);
      continue;
    }
    StepFields fields;
    Step step;
    step.line = number;
    if (!SplitStep(file.lines[i], &fields)) {
      file.error = where + "expected MEANING | REQUEST | REPLY";
    } else if (file.sessions.empty()) {
      file.error = where + "a step before the first session line";
    } else if (!ParseHex(fields.request, &step.request) || !ParseHex(fields.reply, &step.reply)) {
      file.error = where + "bytes must be two hex digits each";
    } else {
      step.meaning = Trim(fields.meaning);
      file.sessions.back().steps.push_back(step);
    }
  }
  return file;
}

bool RewriteTranscript(const TranscriptFile& file) {
  std::vector<std::string> lines = file.lines;
  for (const Session& session : file.sessions) {
    for (const Step& step : session.steps) {
      StepFields f;
      std::string& line = lines[static_cast<size_t>(step.line - 1)];
      if (!SplitStep(line, &f)) return false;
      std::string rewritten = f.meaning;
      rewritten.append("|").append(Refill(f.request, step.request)).append("|");
      if (f.comment.empty()) {
        if (!step.reply.empty()) rewritten.append(" ").append(Hex(step.reply));
      } else {
        rewritten.append(Refill(f.reply, step.reply)).append(f.comment);
      }
      line = std::move(rewritten);
    }
  }
  std::ofstream out(file.path, std::ios::trunc);
  for (const std::string& line : lines) out << line << '\n';
  return static_cast<bool>(out);
}

bool RegisterFamily(FamilyCodec codec) {
  Registry().push_back(std::move(codec));
  return true;
}

const std::vector<FamilyCodec>& Families() { return Registry(); }

}  // namespace sidera::transcripts

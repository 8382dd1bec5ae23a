// Reads standard input and checks that every non-empty line is exactly one
// JSON value (RFC 8259 grammar). Exit 0 when all are, 1 otherwise or when
// there is no line at all.
#include <cctype>
#include <cstdio>
#include <iostream>
#include <string>

namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : s_(text) {}

  bool Document() {
    Space();
    if (!Value()) return false;
    Space();
    return i_ == s_.size();
  }

 private:
  void Space() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r')) ++i_;
  }
  bool Eat(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool Literal(const char* word) {
    const std::string w(word);
    if (s_.compare(i_, w.size(), w) != 0) return false;
    i_ += w.size();
    return true;
  }
  bool Digits() {
    size_t start = i_;
    while (i_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[i_]))) ++i_;
    return i_ > start;
  }
  bool Number() {
    Eat('-');
    if (Eat('0')) {
    } else if (!Digits()) {
      return false;
    }
    if (Eat('.') && !Digits()) return false;
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (!Eat('+')) Eat('-');
      if (!Digits()) return false;
    }
    return true;
  }
  bool String() {
    if (!Eat('"')) return false;
    while (i_ < s_.size()) {
      unsigned char c = static_cast<unsigned char>(s_[i_++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (i_ >= s_.size()) return false;
        char e = s_[i_++];
        if (e == 'u') {
          for (int k = 0; k < 4; ++k) {
            if (i_ >= s_.size() || !std::isxdigit(static_cast<unsigned char>(s_[i_++]))) {
              return false;
            }
          }
        } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
          return false;
        }
      }
    }
    return false;
  }
  bool Array() {
    if (!Eat('[')) return false;
    Space();
    if (Eat(']')) return true;
    do {
      Space();
      if (!Value()) return false;
      Space();
    } while (Eat(','));
    return Eat(']');
  }
  bool Object() {
    if (!Eat('{')) return false;
    Space();
    if (Eat('}')) return true;
    do {
      Space();
      if (!String()) return false;
      Space();
      if (!Eat(':')) return false;
      Space();
      if (!Value()) return false;
      Space();
    } while (Eat(','));
    return Eat('}');
  }
  bool Value() {
    if (i_ >= s_.size()) return false;
    switch (s_[i_]) {
      case '{':
        return Object();
      case '[':
        return Array();
      case '"':
        return String();
      case 't':
        return Literal("true");
      case 'f':
        return Literal("false");
      case 'n':
        return Literal("null");
      default:
        return Number();
    }
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

int main() {
  std::string line;
  int lines = 0;
  int number = 0;
  while (std::getline(std::cin, line)) {
    ++number;
    if (line.empty()) continue;
    ++lines;
    if (!Parser(line).Document()) {
      std::fprintf(stderr, "line %d is not valid JSON: %s\n", number, line.c_str());
      return 1;
    }
  }
  if (lines == 0) {
    std::fprintf(stderr, "no JSON at all\n");
    return 1;
  }
  return 0;
}

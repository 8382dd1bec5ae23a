// Splitting a command line or a typed line into session steps.

#include "tools/sidera/steps.h"

namespace sidera::tool {

std::vector<Words> SplitSteps(const Words& args) {
  std::vector<Words> steps;
  Words current;
  for (const std::string& word : args) {
    if (word == "--") {
      if (!current.empty()) steps.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(word);
    }
  }
  if (!current.empty()) steps.push_back(std::move(current));
  return steps;
}

bool SplitLine(const std::string& line, Words* words) {
  words->clear();
  std::string word;
  bool inWord = false;
  char quote = 0;
  for (char c : line) {
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
      } else {
        word += c;
      }
      continue;
    }
    if (c == '#') break;
    if (c == '"' || c == '\'') {
      quote = c;
      inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
      if (inWord) words->push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (quote != 0) return false;
  if (inWord) words->push_back(word);
  return true;
}

}  // namespace sidera::tool

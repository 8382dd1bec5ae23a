// The program's string table: texts by numeric identifier, read from a text
// resource with one "identifier<TAB>text" line per string. In the text,
// "\r", "\n", "\t" and "\\" stand for those characters; lines starting with
// "#" and blank lines are skipped.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace location {

class StringTable {
 public:
  static StringTable Parse(std::string_view text);
  // The UTF-8 text of `id`; empty when there is none.
  const std::string& Get(int id) const;
  size_t Size() const { return strings_.size(); }

 private:
  std::map<int, std::string> strings_;
};

// Formats a line from a format string of the string table. Only "%f"
// (six decimals), "%d" and "%%" are understood; they take `values` in order,
// "%d" truncating toward zero. Anything else, and conversions beyond the
// values given, are copied as they stand, so an edited string table cannot
// make the program read arguments that are not there.
std::string FormatLine(std::string_view format, std::initializer_list<double> values);

}  // namespace location

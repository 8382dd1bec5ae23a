// The command line of an emulator program, declared as a table: each option
// has its name, the kind of value it takes, where the value goes and a line
// of help. The table parses argv and prints the help from the same entries,
// so an option cannot be parsed one way and documented another.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "emulators/common/program.h"

namespace sidera::emulator {

class OptionTable {
 public:
  // Takes one option value; false when it is unusable.
  using Parser = std::function<bool(const char* value)>;

  // `program` starts every message; `usage` is the help text above the
  // options; help texts start `labelWidth` columns after the indent.
  OptionTable(const char* program, const char* usage, int labelWidth = 22);

  // --name without a value: sets `target`.
  OptionTable& Flag(const char* name, bool& target, const char* help, bool value = true);
  // --name VALUE: a decimal integer within [low, high].
  template <typename T>
  OptionTable& Integer(const char* name, const char* metavar, long low, long high, T& target,
                       const char* help) {
    return Value(
        name, metavar,
        [low, high, &target](const char* v) { return ParseInteger(v, low, high, target); }, help);
  }
  // --name VALUE: a finite number not below `low`.
  OptionTable& Number(const char* name, const char* metavar, double& target, const char* help,
                      double low = -std::numeric_limits<double>::infinity());
  // --name VALUE: a finite number above zero.
  OptionTable& Positive(const char* name, const char* metavar, double& target, const char* help);
  // --name VALUE: any text.
  OptionTable& Text(const char* name, const char* metavar, std::string& target, const char* help);
  // --name VALUE: whatever `parse` makes of it. `badValue`, when given,
  // replaces the standard complaint: "<program>: <badValue> <value>".
  OptionTable& Value(const char* name, const char* metavar, Parser parse, const char* help,
                     const char* badValue = nullptr);
  // A line of its own in the help, between options.
  OptionTable& Heading(const char* text);
  // The one argument that is not an option (it does not start with "-").
  // Without one, every argument that is not a flag takes a value.
  OptionTable& Positional(const char*& target);

  // Parses the command line. Nothing when the program goes on; otherwise
  // its exit status: 0 after --help, -h or --version (the program's version:
  // alone, when the table has a --version of its own), 2 after a message on
  // standard error.
  std::optional<int> Parse(int argc, char** argv) const;
  void PrintHelp() const;

 private:
  struct Option {
    std::string name;           // "--name"; empty for a heading
    std::string metavar;        // empty for a flag
    std::function<void()> set;  // a flag's action
    Parser parse;               // a value's parser
    std::string help;           // may span lines
    const char* badValue = nullptr;
  };
  const Option* Find(const std::string& name) const;
  int Complain(const char* format, const char* first, const char* second = "") const;

  const char* program_;
  const char* usage_;
  int labelWidth_;
  std::vector<Option> options_;
  const char** positional_ = nullptr;
};

}  // namespace sidera::emulator

// Parsing and help of an emulator program's option table.
#include "emulators/common/option_table.h"

#include <cstdio>

#include "sidera_version.h"

namespace sidera::emulator {

OptionTable::OptionTable(const char* program, const char* usage, int labelWidth)
    : program_(program), usage_(usage), labelWidth_(labelWidth) {}

OptionTable& OptionTable::Flag(const char* name, bool& target, const char* help, bool value) {
  options_.push_back({name, "", [&target, value] { target = value; }, nullptr, help});
  return *this;
}

OptionTable& OptionTable::Number(const char* name, const char* metavar, double& target,
                                 const char* help, double low) {
  return Value(
      name, metavar, [&target, low](const char* v) { return ParseDouble(v, target, low); }, help);
}

OptionTable& OptionTable::Positive(const char* name, const char* metavar, double& target,
                                   const char* help) {
  return Value(
      name, metavar, [&target](const char* v) { return ParseDouble(v, target) && target > 0; },
      help);
}

OptionTable& OptionTable::Text(const char* name, const char* metavar, std::string& target,
                               const char* help) {
  return Value(
      name, metavar,
      [&target](const char* v) {
        target = v;
        return true;
      },
      help);
}

OptionTable& OptionTable::Value(const char* name, const char* metavar, Parser parse,
                                const char* help, const char* badValue) {
  options_.push_back({name, metavar, nullptr, std::move(parse), help, badValue});
  return *this;
}

OptionTable& OptionTable::Heading(const char* text) {
  options_.push_back({"", "", nullptr, nullptr, text});
  return *this;
}

OptionTable& OptionTable::Positional(const char*& target) {
  positional_ = &target;
  return *this;
}

const OptionTable::Option* OptionTable::Find(const std::string& name) const {
  for (const Option& option : options_) {
    if (!option.name.empty() && option.name == name) return &option;
  }
  return nullptr;
}

int OptionTable::Complain(const char* format, const char* first, const char* second) const {
  std::fprintf(stderr, "%s: ", program_);
  std::fprintf(stderr, format, first, second);
  std::fputc('\n', stderr);
  return 2;
}

std::optional<int> OptionTable::Parse(int argc, char** argv) const {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      PrintHelp();
      return 0;
    }
    // Alone, --version asks for the program's version; an emulator whose
    // controller reports a firmware version takes "--version VALUE" for it.
    if (name == "--version" && (argc == 2 || Find(name) == nullptr)) {
      std::printf("%s %s\n", program_, SIDERA_VERSION);
      return 0;
    }
    const Option* option = Find(name);
    if (option != nullptr && option->set) {
      option->set();
      continue;
    }
    if (positional_ != nullptr && option == nullptr) {
      // A program with an argument of its own knows a stray option at once.
      if (*positional_ != nullptr || name[0] == '-') {
        return Complain("unknown option %s (see --help)", name.c_str());
      }
      *positional_ = argv[i];
      continue;
    }
    if (i + 1 >= argc) return Complain("%s needs a value (see --help)", name.c_str());
    const char* value = argv[++i];
    if (option == nullptr) return Complain("unknown option %s (see --help)", name.c_str());
    if (!option->parse(value)) {
      if (option->badValue != nullptr) return Complain("%s %s", option->badValue, value);
      return Complain("bad value '%s' for %s", value, name.c_str());
    }
  }
  return std::nullopt;
}

void OptionTable::PrintHelp() const {
  std::fputs(usage_, stdout);
  const std::string indent(2 + labelWidth_ + 1, ' ');
  auto line = [&](const std::string& label, const std::string& help) {
    // A label too long for its column stands two spaces clear of its help.
    const bool overlong = static_cast<int>(label.size()) > labelWidth_;
    std::printf("  %-*s %s", labelWidth_, label.c_str(), overlong ? " " : "");
    for (char c : help) {
      std::putchar(c);
      if (c == '\n') std::fputs(indent.c_str(), stdout);
    }
    std::putchar('\n');
  };
  for (const Option& option : options_) {
    if (option.name.empty()) {
      std::printf("%s\n", option.help.c_str());
    } else {
      line(option.metavar.empty() ? option.name : option.name + " " + option.metavar, option.help);
    }
  }
  line("--help", "this text");
  line("--version", "alone: the program's version");
}

}  // namespace sidera::emulator

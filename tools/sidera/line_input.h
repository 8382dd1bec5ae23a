// The shell's input: lines from standard input, read so that a Ctrl-C
// while the prompt waits is seen at once (as at a terminal, it drops the
// line typed so far).
#pragma once

#include <string>

namespace sidera::tool {

class LineInput {
 public:
  enum class Result { kLine, kEnd, kInterrupted };
  // The next line without its end; kEnd at the end of the input (a last
  // line without an end comes first); kInterrupted when a Ctrl-C came first.
  Result Read(std::string* line);

 private:
  std::string buffer_;
  bool ended_ = false;
};

}  // namespace sidera::tool

// The emulator's end of the serial line: the master side of a
// pseudo-terminal. The emulator also keeps the slave side open itself, so
// the master stays usable while the library closes and reopens the device.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace sidera::emulator {

class PtyLine {
 public:
  PtyLine() = default;
  ~PtyLine() { Close(); }
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  // Opens a new pseudo-terminal in raw mode. False when the system has none.
  bool Open();
  // Hangs up: the library's reads and writes on the device fail from now on.
  void Close();
  bool IsOpen() const { return master_ >= 0; }

  const std::string& SlavePath() const { return slavePath_; }
  int MasterFd() const { return master_; }  // non-blocking
  // Bytes written to the line that the library has not read yet.
  int PendingForReader() const;

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

}  // namespace sidera::emulator

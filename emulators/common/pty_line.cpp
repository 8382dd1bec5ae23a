// The emulators' end of a serial line: a raw pseudo-terminal master.
#include "emulators/common/pty_line.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sidera::emulator {

bool PtyLine::Open() {
  Close();
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (master_ < 0) return false;
  char name[128];
  if (grantpt(master_) != 0 || unlockpt(master_) != 0 ||
      ptsname_r(master_, name, sizeof name) != 0) {
    Close();
    return false;
  }
  slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave_ < 0) {
    Close();
    return false;
  }
  // Raw: the bytes of a binary protocol must pass unchanged (no echo by the
  // terminal, no newline translation, no signals from control characters).
  termios settings{};
  if (tcgetattr(slave_, &settings) == 0) {
    cfmakeraw(&settings);
    (void)cfsetspeed(&settings, B19200);
    (void)tcsetattr(slave_, TCSANOW, &settings);
  }
  slavePath_ = name;
  return true;
}

void PtyLine::Close() {
  if (master_ >= 0) (void)close(master_);
  if (slave_ >= 0) (void)close(slave_);
  master_ = -1;
  slave_ = -1;
}

int PtyLine::PendingForReader() const {
  int queued = 0;
  if (slave_ < 0 || ioctl(slave_, TIOCINQ, &queued) != 0) return 0;
  return queued;
}

}  // namespace sidera::emulator

// Serial device paths the way the library forms and opens them.
#include "host/serial_device.h"

#include <fcntl.h>
#include <glob.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/serial_port.h"

namespace sidera::host {
namespace {

std::string EscapePercent(std::string_view text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

}  // namespace

std::string AnotherKindOfMountText(std::string_view path, std::string_view model,
                                   std::string_view howToChoose) {
  return "the controller on " + std::string(path) + " answers, but not as " + std::string(model) +
         " does: it is another kind of mount; " + std::string(howToChoose);
}

std::string SerialDevicePath(const std::string& pattern, int port) {
  return platform::ExpandSerialPattern(pattern, port);
}

std::vector<std::string> SerialDevicesPresent() {
  std::vector<std::string> out;
  for (const char* pattern : {"/dev/ttyUSB*", "/dev/ttyACM*", "/dev/rfcomm*", "/dev/ttyS*"}) {
    glob_t g{};
    if (glob(pattern, 0, nullptr, &g) == 0) {
      for (size_t i = 0; i < g.gl_pathc; ++i) out.emplace_back(g.gl_pathv[i]);
    }
    globfree(&g);
  }
  return out;
}

namespace {

// Why the user may not open `path`, and what would let them: joining the
// device's group when that group may read and write it (dialout on most
// systems), else who may open it.
std::string PermissionText(const std::string& path, const struct stat& st) {
  const std::string denied = "permission denied on " + path + ": ";
  const struct group* g = getgrgid(st.st_gid);
  const bool groupMay = (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP);
  if (groupMay && st.st_gid != 0 && g != nullptr && g->gr_name != nullptr) {
    const std::string group = g->gr_name;
    return denied + "your user needs to be in the group '" + group + "' (sudo usermod -aG " +
           group + " $USER, then log in again)";
  }
  char mode[8];
  std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(st.st_mode & 0777));
  const struct passwd* owner = getpwuid(st.st_uid);
  const std::string who = owner != nullptr && owner->pw_name != nullptr
                              ? owner->pw_name
                              : "user " + std::to_string(st.st_uid);
  const bool ownerMay = (st.st_mode & (S_IRUSR | S_IWUSR)) == (S_IRUSR | S_IWUSR);
  return denied +
         (ownerMay && st.st_uid != 0 ? "only its owner " + who : std::string("only root")) +
         " may open it (mode " + mode +
         "); ask for access to it, for example with a udev rule "
         "that gives it to the group dialout";
}

}  // namespace

std::string DiagnoseSerialDevice(const std::string& path, std::string_view howToChoose) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    const int err = errno;
    if (err != ENOENT && err != ENOTDIR) {
      return "cannot look at " + path + ": " + std::strerror(err);
    }
    std::string text = "serial device " + path + " does not exist";
    const std::vector<std::string> present = SerialDevicesPresent();
    if (present.empty()) return text + "; this machine has no serial devices";
    text += "; serial devices here:";
    for (size_t i = 0; i < present.size() && i < 12; ++i) text += " " + present[i];
    if (present.size() > 12) text += " ...";
    return text + " (" + std::string(howToChoose) + ")";
  }
  if (S_ISDIR(st.st_mode)) return path + " is a directory, not a serial device";
  if (S_ISREG(st.st_mode)) return path + " is a regular file, not a serial device";
  if (!S_ISCHR(st.st_mode)) return path + " is not a serial device (not a character device)";
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == EACCES || err == EPERM) return PermissionText(path, st);
    if (err == EBUSY) return path + " is busy: another program holds it";
    if (err == ENXIO || err == ENODEV || err == EIO) {
      return path + " cannot be opened (" + std::strerror(err) +
             "): no serial hardware answers behind it";
    }
    return "cannot open " + path + ": " + std::strerror(err);
  }
  const bool terminal = isatty(fd) != 0;
  (void)close(fd);  // only a check; the library opens the device itself
  if (!terminal) return path + " is not a serial (terminal) device";
  return "";
}

std::optional<PortSetting> PortSettingFor(std::string_view devicePath) {
  if (devicePath.empty()) return std::nullopt;
  size_t digits = devicePath.size();
  while (digits > 0 && devicePath[digits - 1] >= '0' && devicePath[digits - 1] <= '9') --digits;
  const std::string_view number = devicePath.substr(digits);
  const bool usable = !number.empty() && number.size() <= 3 &&
                      (number.size() == 1 || number[0] != '0') &&
                      std::stoi(std::string(number)) <= 255;
  if (!usable) return PortSetting{EscapePercent(devicePath), 0};
  return PortSetting{EscapePercent(devicePath.substr(0, digits)) + "%d",
                     std::stoi(std::string(number))};
}

}  // namespace sidera::host

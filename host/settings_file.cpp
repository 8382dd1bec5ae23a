// Settings files: their place and their replacement.
#include "host/settings_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sidera::host {
namespace {

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    const std::string folder = path.substr(0, slash);
    if (mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

}  // namespace

std::string UserConfigPath(std::string_view relative) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && *xdg == '/') return std::string(xdg) + "/" + std::string(relative);
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != 0) {
    return std::string(home) + "/.config/" + std::string(relative);
  }
  return "";
}

bool WriteWholeFile(const std::string& path, std::string_view text, std::string* error) {
  const std::string temporary = path + ".new";
  if (path.empty() || !MakeFolders(path)) {
    *error = "cannot create the folder of " + path + ": " + std::strerror(errno);
    return false;
  }
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = "cannot write " + temporary + ": " + std::strerror(errno);
    return false;
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const bool written = done == text.size() && fsync(fd) == 0;
  const int writeError = errno;
  if (close(fd) != 0 || !written) {
    *error = "cannot write " + temporary + ": " + std::strerror(written ? errno : writeError);
    (void)unlink(temporary.c_str());
    return false;
  }
  if (std::rename(temporary.c_str(), path.c_str()) != 0) {
    *error = "cannot replace " + path + ": " + std::strerror(errno);
    (void)unlink(temporary.c_str());
    return false;
  }
  // The rename itself reaches the disk with its folder.
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    (void)fsync(dir);
    (void)close(dir);
  }
  return true;
}

}  // namespace sidera::host

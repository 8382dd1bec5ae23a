// Where a user's settings files live and how one is replaced: written whole
// to a temporary file, flushed to the disk and renamed into place, so that a
// crash or power cut leaves either the old file or the new one.
#pragma once

#include <string>
#include <string_view>

namespace sidera::host {

// $XDG_CONFIG_HOME/`relative`, with ~/.config in place of an unset (or
// relative) XDG_CONFIG_HOME; "" when neither that nor HOME is set.
std::string UserConfigPath(std::string_view relative);

// Replaces `path` with `text`, creating its folders. False, with the reason
// in `error` and the old file untouched, when it cannot.
bool WriteWholeFile(const std::string& path, std::string_view text, std::string* error);

}  // namespace sidera::host

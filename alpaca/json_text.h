// JSON as text for a reply or a file. A string with invalid UTF-8 (text a
// client or a device sent) would make nlohmann's dump() throw; here such
// bytes become U+FFFD instead, so no answer fails for what it quotes.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace sidera::alpaca {

inline std::string JsonText(const nlohmann::json& value, int indent = -1) {
  return value.dump(indent, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace sidera::alpaca

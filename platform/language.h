// The user's language as a 16-bit Windows-style language identifier.
#pragma once

#include <cstdint>

namespace sidera::platform {

inline constexpr uint16_t kLanguageEnglishUs = 0x0409;
inline constexpr uint16_t kLanguageChineseTaiwan = 0x0404;
inline constexpr uint16_t kLanguageChinesePrc = 0x0804;
inline constexpr uint16_t kLanguageChineseHongKong = 0x0C04;
inline constexpr uint16_t kLanguageChineseSingapore = 0x1004;
inline constexpr uint16_t kLanguageChineseMacau = 0x1404;

// Read on every call from the first non-empty of LC_ALL, LC_MESSAGES, LANG:
// zh_TW, zh_CN, zh_HK, zh_SG and zh_MO map to their Chinese identifiers,
// anything else (including nothing) to 0x0409.
uint16_t UserDefaultLanguageId();

}  // namespace sidera::platform

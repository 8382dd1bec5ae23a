#include "tools/sidera/stars.h"

#include <array>
#include <cctype>
#include <string>

namespace sidera::tool {
namespace {

constexpr double kPi = 3.141592653589793;

constexpr double Ra(double h, double m, double s) {
  return (h + m / 60.0 + s / 3600.0) / 12.0 * kPi;
}

constexpr double Dec(int sign, double d, double m, double s) {
  return sign * (d + m / 60.0 + s / 3600.0) / 180.0 * kPi;
}

// J2000 positions of the brightest stars, spread over both hemispheres and
// all seasons so that some are up at any site and time.
constexpr std::array kStars = {
    Star{"Sirius", Ra(6, 45, 8.9), Dec(-1, 16, 42, 58), -1.46},
    Star{"Canopus", Ra(6, 23, 57.1), Dec(-1, 52, 41, 44), -0.74},
    Star{"Rigil Kentaurus", Ra(14, 39, 36.5), Dec(-1, 60, 50, 2), -0.27},
    Star{"Arcturus", Ra(14, 15, 39.7), Dec(1, 19, 10, 57), -0.05},
    Star{"Vega", Ra(18, 36, 56.3), Dec(1, 38, 47, 1), 0.03},
    Star{"Capella", Ra(5, 16, 41.4), Dec(1, 45, 59, 53), 0.08},
    Star{"Rigel", Ra(5, 14, 32.3), Dec(-1, 8, 12, 6), 0.13},
    Star{"Procyon", Ra(7, 39, 18.1), Dec(1, 5, 13, 30), 0.34},
    Star{"Achernar", Ra(1, 37, 42.8), Dec(-1, 57, 14, 12), 0.46},
    Star{"Betelgeuse", Ra(5, 55, 10.3), Dec(1, 7, 24, 25), 0.50},
    Star{"Hadar", Ra(14, 3, 49.4), Dec(-1, 60, 22, 23), 0.61},
    Star{"Altair", Ra(19, 50, 47.0), Dec(1, 8, 52, 6), 0.76},
    Star{"Acrux", Ra(12, 26, 35.9), Dec(-1, 63, 5, 57), 0.76},
    Star{"Aldebaran", Ra(4, 35, 55.2), Dec(1, 16, 30, 33), 0.86},
    Star{"Antares", Ra(16, 29, 24.4), Dec(-1, 26, 25, 55), 0.96},
    Star{"Spica", Ra(13, 25, 11.6), Dec(-1, 11, 9, 41), 0.97},
    Star{"Pollux", Ra(7, 45, 18.9), Dec(1, 28, 1, 34), 1.14},
    Star{"Fomalhaut", Ra(22, 57, 39.0), Dec(-1, 29, 37, 20), 1.16},
    Star{"Deneb", Ra(20, 41, 25.9), Dec(1, 45, 16, 49), 1.25},
    Star{"Mimosa", Ra(12, 47, 43.3), Dec(-1, 59, 41, 19), 1.25},
    Star{"Regulus", Ra(10, 8, 22.3), Dec(1, 11, 58, 2), 1.35},
    Star{"Castor", Ra(7, 34, 36.0), Dec(1, 31, 53, 18), 1.58},
    Star{"Bellatrix", Ra(5, 25, 7.9), Dec(1, 6, 20, 59), 1.64},
    Star{"Alnilam", Ra(5, 36, 12.8), Dec(-1, 1, 12, 7), 1.69},
    Star{"Alioth", Ra(12, 54, 1.7), Dec(1, 55, 57, 35), 1.77},
    Star{"Mirfak", Ra(3, 24, 19.4), Dec(1, 49, 51, 40), 1.79},
    Star{"Dubhe", Ra(11, 3, 43.7), Dec(1, 61, 45, 3), 1.79},
    Star{"Alkaid", Ra(13, 47, 32.4), Dec(1, 49, 18, 48), 1.86},
    Star{"Alphard", Ra(9, 27, 35.2), Dec(-1, 8, 39, 31), 1.98},
    Star{"Polaris", Ra(2, 31, 49.1), Dec(1, 89, 15, 51), 1.98},
    Star{"Hamal", Ra(2, 7, 10.4), Dec(1, 23, 27, 45), 2.00},
    Star{"Alpheratz", Ra(0, 8, 23.3), Dec(1, 29, 5, 26), 2.06},
    Star{"Rasalhague", Ra(17, 34, 56.1), Dec(1, 12, 33, 36), 2.07},
    Star{"Denebola", Ra(11, 49, 3.6), Dec(1, 14, 34, 19), 2.13},
    Star{"Enif", Ra(21, 44, 11.2), Dec(1, 9, 52, 30), 2.38},
    Star{"Markab", Ra(23, 4, 45.7), Dec(1, 15, 12, 19), 2.48},
};

std::string Folded(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == ' ' || c == '-' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

}  // namespace

std::span<const Star> BrightStars() { return kStars; }

const Star* FindStar(std::string_view name) {
  const std::string wanted = Folded(name);
  if (wanted.empty()) return nullptr;
  for (const Star& star : kStars) {
    if (Folded(star.name) == wanted) return &star;
  }
  return nullptr;
}

}  // namespace sidera::tool

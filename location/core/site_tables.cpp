// Table identifiers, record decoding and name conversion of the site tables.
#include "location/core/site_tables.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace location {
namespace {

// Table identifiers by language, continent: {countries, cities}.
constexpr int kTableIds[3][kContinentCount][2] = {
    {{135, 134}, {140, 139}, {138, 137}, {136, 133}, {142, 141}},
    {{152, 151}, {158, 157}, {156, 155}, {154, 153}, {160, 159}},
    {{166, 165}, {168, 167}, {164, 163}, {162, 161}, {170, 169}},
};

int TableId(UiLanguage language, int continent, int which) {
  if (continent < 0 || continent >= kContinentCount) return 0;
  return kTableIds[static_cast<int>(language)][continent][which];
}

std::string NameAt(const uint8_t* record) {
  const void* end = std::memchr(record, 0, kNameBytes);
  const size_t length =
      end == nullptr ? kNameBytes : static_cast<size_t>(static_cast<const uint8_t*>(end) - record);
  return std::string(reinterpret_cast<const char*>(record), length);
}

int32_t Int32At(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                              static_cast<uint32_t>(p[2]) << 16 |
                              static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

int CountryTableId(UiLanguage language, int continent) { return TableId(language, continent, 0); }
int CityTableId(UiLanguage language, int continent) { return TableId(language, continent, 1); }

std::vector<CountryRecord> ParseCountries(std::span<const uint8_t> table) {
  std::vector<CountryRecord> records(table.size() / kCountryRecordBytes);
  for (size_t i = 0; i < records.size(); ++i) {
    const uint8_t* record = table.data() + i * kCountryRecordBytes;
    records[i] = {NameAt(record), record[28], record[29]};
  }
  return records;
}

std::vector<CityRecord> ParseCities(std::span<const uint8_t> table) {
  std::vector<CityRecord> records(table.size() / kCityRecordBytes);
  for (size_t i = 0; i < records.size(); ++i) {
    const uint8_t* record = table.data() + i * kCityRecordBytes;
    records[i] = {NameAt(record), Int32At(record + 28), Int32At(record + 32)};
  }
  return records;
}

std::string Cp936ToUtf8(std::string_view bytes) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";
  std::string out;
  iconv_t converter = iconv_open("UTF-8", "CP936");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    // No converter on this system: keep the ASCII and mark the rest.
    for (const char c : bytes) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
    return out;
  }
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (result != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // An invalid or cut-off sequence: replace one byte and go on.
    out += kReplacement;
    ++in;
    --inLeft;
  }
  iconv_close(converter);
  return out;
}

}  // namespace location

// Encoding and checking the pointing model's bytes (see the header).
#include "sidera/core/alignment_model_file.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "sidera/core/telescope_mount.h"

namespace sidera {

namespace {

constexpr char kMagic[8] = {'S', 'I', 'D', 'E', 'R', 'A', 'P', 'M'};
constexpr std::size_t kHeaderBytes = 328;
constexpr std::size_t kStarBytes = 48;
constexpr std::size_t kCrcBytes = 4;
// More stars than any night gives; keeps a damaged count from sizing a
// buffer.
constexpr uint32_t kMostStars = 100000;

class Writer {
 public:
  void U32(uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  void F64(double v) {
    const uint64_t u = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
  }
  std::vector<uint8_t> bytes;
};

class Reader {
 public:
  explicit Reader(const uint8_t* data) : data_(data) {}
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(data_[at_++]) << (8 * i);
    return v;
  }
  // Reads a double; clears `finite` when it is not finite.
  double F64(bool& finite) {
    uint64_t u = 0;
    for (int i = 0; i < 8; ++i) u |= static_cast<uint64_t>(data_[at_++]) << (8 * i);
    const double v = std::bit_cast<double>(u);
    if (!std::isfinite(v)) finite = false;
    return v;
  }

 private:
  const uint8_t* data_;
  std::size_t at_ = 8;  // after the magic
};

}  // namespace

uint32_t Crc32(const uint8_t* data, std::size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::vector<uint8_t> EncodeAlignmentModel(const TelescopeMount& mount) {
  Writer w;
  w.bytes.assign(kMagic, kMagic + 8);
  const PointingValues& m = mount.Model().View();
  const AlignmentBook& book = m.book;
  const PointingTerms& t = m.terms;
  w.U32(kAlignmentModelVersion);
  w.U32(static_cast<uint32_t>(mount.Identity().Type()));
  w.U32(static_cast<uint32_t>(book.stars.size()));
  w.U32((m.aligned ? 1u : 0u) | (t.hasLocal ? 2u : 0u));
  w.U32(static_cast<uint32_t>(m.quality));
  uint32_t fitted = 0;
  for (int i = 0; i < kTermCount; ++i) fitted |= book.fitted[i] ? 1u << i : 0u;
  w.U32(fitted);
  for (double v : m.skyToAxes.m) w.F64(v);
  for (double v : m.axesToSky.m) w.F64(v);
  for (double v : {m.axis1Index, m.collimation, m.nonPerpendicularity, t.tubeFlexure, t.axisFlexure,
                   t.local0, t.local1, t.localAt.x, t.localAt.y, t.localAt.z, m.residual}) {
    w.F64(v);
  }
  for (double v : book.terms) w.F64(v);
  for (std::size_t i = 0; i < book.stars.size(); ++i) {
    const AlignStar& s = book.stars[i];
    for (double v : {s.hourAngle, s.declination, s.axis0, s.axis1, book.residuals[i]}) w.F64(v);
    w.U32(book.used[i] != 0 ? 1u : 0u);
    w.U32(0);
  }
  w.U32(Crc32(w.bytes.data(), w.bytes.size()));
  return w.bytes;
}

MountResult DecodeAlignmentModel(TelescopeMount& m, const uint8_t* data, std::size_t size,
                                 const char** reason) {
  const auto refuse = [&](const char* why) {
    *reason = why;
    return kBadAlignmentData;
  };
  if (size < kHeaderBytes + kCrcBytes) return refuse("shorter than a model");
  if (std::memcmp(data, kMagic, 8) != 0) return refuse("not a pointing model");
  Reader r(data);
  if (r.U32() != kAlignmentModelVersion) return refuse("a version this library does not read");
  const int32_t mountType = static_cast<int32_t>(r.U32());
  const uint32_t stars = r.U32();
  if (stars > kMostStars || size != kHeaderBytes + kStarBytes * stars + kCrcBytes) {
    return refuse("its length does not match its number of stars");
  }
  uint32_t crc = 0;
  for (int i = 0; i < 4; ++i) crc |= static_cast<uint32_t>(data[size - 4 + i]) << (8 * i);
  if (Crc32(data, size - kCrcBytes) != crc) return refuse("damaged (checksum)");
  if (mountType != m.Identity().Type()) return refuse("saved on another mount model");

  const uint32_t flags = r.U32();
  const int32_t quality = static_cast<int32_t>(r.U32());
  const uint32_t fitted = r.U32();
  bool finite = true;
  Matrix3 skyToAxes, axesToSky;
  for (double& v : skyToAxes.m) v = r.F64(finite);
  for (double& v : axesToSky.m) v = r.F64(finite);
  const double index = r.F64(finite), collimation = r.F64(finite),
               nonPerpendicularity = r.F64(finite);
  PointingTerms t;
  t.tubeFlexure = r.F64(finite);
  t.axisFlexure = r.F64(finite);
  t.local0 = r.F64(finite);
  t.local1 = r.F64(finite);
  t.localAt.x = r.F64(finite);
  t.localAt.y = r.F64(finite);
  t.localAt.z = r.F64(finite);
  t.hasLocal = (flags & 2u) != 0;
  const double residual = r.F64(finite);
  AlignmentBook book;
  for (double& v : book.terms) v = r.F64(finite);
  for (int i = 0; i < kTermCount; ++i) book.fitted[i] = (fitted >> i) & 1u;
  for (uint32_t i = 0; i < stars; ++i) {
    AlignStar s{};
    s.hourAngle = r.F64(finite);
    s.declination = r.F64(finite);
    s.axis0 = r.F64(finite);
    s.axis1 = r.F64(finite);
    book.stars.push_back(s);
    book.residuals.push_back(r.F64(finite));
    const uint32_t used = r.U32();
    if (used > 1 || r.U32() != 0) return refuse("a star's flags are not valid");
    book.used.push_back(static_cast<int>(used));
  }
  if (!finite) return refuse("a number that is not finite");
  if ((flags & ~3u) != 0 || (fitted >> kTermCount) != 0) return refuse("unknown flags");

  PointingValues model;
  model.skyToAxes = skyToAxes;
  model.axesToSky = axesToSky;
  model.axis1Index = index;
  model.collimation = collimation;
  model.nonPerpendicularity = nonPerpendicularity;
  model.terms = t;
  model.book = std::move(book);
  model.residual = residual;
  model.quality = quality;
  model.aligned = (flags & 1u) != 0;
  m.Model().Load(std::move(model));
  return kOk;
}

}  // namespace sidera

// The 24-bit wire number both binary families use: most significant byte
// first, higher bits dropped on the way out, bit 23 the sign when signed.
#include "sidera/link/count24.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace sidera {
namespace {

TEST(Count24, PacksAndUnpacksAtTheEdgesOfItsRange) {
  struct Case {
    uint32_t value;
    uint8_t bytes[3];
    uint32_t unsignedBack;
    int32_t signedBack;
  };
  const Case cases[] = {
      {0x123456, {0x12, 0x34, 0x56}, 0x123456, 0x123456},
      {0x7FFFFF, {0x7F, 0xFF, 0xFF}, 0x7FFFFF, 8388607},
      {0x800000, {0x80, 0x00, 0x00}, 0x800000, -8388608},
      {static_cast<uint32_t>(-1), {0xFF, 0xFF, 0xFF}, 0xFFFFFF, -1},
      {0xAB000FC4, {0x00, 0x0F, 0xC4}, 0x000FC4, 4036},  // bits above 23 dropped
  };
  for (const Case& c : cases) {
    uint8_t out[3] = {};
    PackCount24(c.value, out);
    EXPECT_EQ(out[0], c.bytes[0]) << std::hex << c.value;
    EXPECT_EQ(out[1], c.bytes[1]) << std::hex << c.value;
    EXPECT_EQ(out[2], c.bytes[2]) << std::hex << c.value;
    EXPECT_EQ(UnpackCount24(out), c.unsignedBack) << std::hex << c.value;
    EXPECT_EQ(UnpackSignedCount24(out), c.signedBack) << std::hex << c.value;
  }
}

}  // namespace
}  // namespace sidera

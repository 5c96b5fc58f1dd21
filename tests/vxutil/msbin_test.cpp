#include "vxutil.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace {

std::uint32_t Packed(std::array<std::uint8_t, 4> bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

std::array<std::uint8_t, 4> ToMsb(Real48 real) {
    std::array<std::uint8_t, 4> bytes{0xEE, 0xEE, 0xEE, 0xEE};
    VxRealToMsb(real, bytes.data());
    return bytes;
}

// The 6-byte real of a value with at most 39 fraction bits, built from its parts.
Real48 MakeReal48(bool negative, int exponent, std::uint64_t fraction39) {
    Real48 real{};
    real.bytes[0] = static_cast<std::uint8_t>(exponent + 129);
    for (int i = 0; i < 5; ++i)
        real.bytes[1 + i] = static_cast<std::uint8_t>(fraction39 >> (8 * i));
    real.bytes[5] = static_cast<std::uint8_t>((real.bytes[5] & 0x7F) | (negative ? 0x80 : 0));
    return real;
}

using Bytes = std::array<std::uint8_t, 4>;

} // namespace

TEST(VxMsbToReal, KnownValues) {
    EXPECT_EQ(VxMsbToReal(Packed({0x00, 0x00, 0x00, 0x81})), 1.0L);
    EXPECT_EQ(VxMsbToReal(Packed({0x00, 0x00, 0x80, 0x81})), -1.0L);
    EXPECT_EQ(VxMsbToReal(Packed({0x00, 0x00, 0x00, 0x80})), 0.5L);
    EXPECT_EQ(VxMsbToReal(Packed({0x00, 0x00, 0x20, 0x84})), 10.0L);
    EXPECT_EQ(VxMsbToReal(Packed({0xFF, 0xFF, 0x7F, 0xFF})),
              std::ldexp(2.0L - std::ldexp(1.0L, -23), 126));
    EXPECT_EQ(VxMsbToReal(Packed({0x00, 0x00, 0x00, 0x01})), std::ldexp(1.0L, -128));
}

TEST(VxMsbToReal, ZeroExponentIsPositiveZeroWhateverTheOtherBits) {
    for (std::uint32_t bits : {0x00000000u, 0x00800000u, 0x007FFFFFu}) {
        const long double value = VxMsbToReal(bits);
        EXPECT_EQ(value, 0.0L);
        EXPECT_FALSE(std::signbit(value)) << std::hex << bits;
    }
}

TEST(VxRealToMsb, MovesExponentSignAndTopFractionBits) {
    EXPECT_EQ(ToMsb(MakeReal48(false, 0, 0)), (Bytes{0x00, 0x00, 0x00, 0x81}));
    EXPECT_EQ(ToMsb(MakeReal48(true, 0, 0)), (Bytes{0x00, 0x00, 0x80, 0x81}));
    EXPECT_EQ(ToMsb(MakeReal48(false, 3, std::uint64_t{1} << 37)), (Bytes{0x00, 0x00, 0x20, 0x84}));
    EXPECT_EQ(ToMsb(Real48{}), (Bytes{0x00, 0x00, 0x00, 0x00}));
    // 1 + 2^-39: the low fraction bits are cut off, not rounded.
    EXPECT_EQ(ToMsb(MakeReal48(false, 0, 1)), (Bytes{0x00, 0x00, 0x00, 0x81}));
    EXPECT_EQ(ToMsb(MakeReal48(false, 0, 0xFFFF)), (Bytes{0x00, 0x00, 0x00, 0x81}));
}

TEST(VxRealToMsb, RoundTripsTwentyFourBitValues) {
    const std::uint64_t fractions[] = {0, 1, 0x2AAAAA, 0x7FFFFF};
    for (bool negative : {false, true})
        for (int exponent : {-128, -1, 0, 7, 126})
            for (std::uint64_t fraction23 : fractions) {
                const Real48 real = MakeReal48(negative, exponent, fraction23 << 16);
                const long double expected =
                    (negative ? -1 : 1) *
                    std::ldexp(1.0L + std::ldexp(static_cast<long double>(fraction23), -23),
                               exponent);
                EXPECT_EQ(VxMsbToReal(Packed(ToMsb(real))), expected)
                    << negative << ' ' << exponent << ' ' << fraction23;
            }
}

// Conversion between the 6-byte real and the 4-byte MBF single of QWK index
// files. Both keep an 8-bit exponent biased by 129 (0 means zero) and the sign
// in the top bit of the fraction, so the conversion only moves bytes.
#include "vxutil.h"

#include <cmath>

namespace {
constexpr int ExponentBias = 129;
constexpr int MbfFractionBits = 23;
constexpr std::uint32_t MbfSignBit = 0x00800000u;
constexpr std::uint32_t MbfFractionMask = 0x007FFFFFu;
} // namespace

extern "C" {

void VxRealToMsb(Real48 value, std::uint8_t msbin[4]) {
    if (msbin == nullptr)
        return;
    // The top 23 fraction bits with the sign, then the exponent. The lowest 16
    // fraction bits (bytes 1 and 2) are dropped: truncation, no rounding.
    msbin[0] = value.bytes[3];
    msbin[1] = value.bytes[4];
    msbin[2] = value.bytes[5];
    msbin[3] = value.bytes[0];
}

long double VxMsbToReal(std::uint32_t msbin) {
    const int exponent = static_cast<int>(msbin >> 24);
    if (exponent == 0)
        return 0.0L; // a set sign bit on a zero is ignored
    const std::uint32_t significand = (msbin & MbfFractionMask) | (MbfFractionMask + 1);
    const long double magnitude = std::ldexp(static_cast<long double>(significand),
                                             exponent - ExponentBias - MbfFractionBits);
    return (msbin & MbfSignBit) != 0 ? -magnitude : magnitude;
}

} // extern "C"

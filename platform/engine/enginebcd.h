#pragma once
// The engine's BCD form of decimal numbers, in which filter expressions carry decimal
// constants: 34 bytes. Byte 0 is the precision (digits, 1 to 64); byte 1 holds the sign in
// bit 7 (set: negative) and the number of decimal places in bits 0-5; bytes 2-33 hold the
// digits, two a byte with the high nibble first, the precision's digits from the left (the
// last ones being the decimal places), the nibbles after them zero.
#include <array>
#include <cstdint>
#include <span>

using TEngineBcd = std::array<std::uint8_t, 34>;

// Value as a BCD of Precision digits with Decimals of them after the point. The value is
// taken in its shortest decimal form (the digits that read back as the same double, so 1.005
// stays 1.005) and rounded half away from zero to Decimals places. False, Out untouched,
// when the value is not finite, the precision or places are out of range, or the value needs
// more digits before the point than the precision leaves.
bool EngineDoubleToBcd(double Value, int Precision, int Decimals, TEngineBcd& Out);

// The value of a BCD; false for a malformed one (precision 0 or over 64, more places than
// digits, a digit nibble over 9, or a digit set beyond the precision).
bool EngineBcdToDouble(std::span<const std::uint8_t, 34> Bcd, double& Value);

// Value rounded to Decimals places (0 to 32) as EngineDoubleToBcd rounds; a value too large
// for that comes back unchanged.
double EngineRoundDecimal(double Value, int Decimals);

#pragma once
// Bit helpers on bytes: texts for booleans, bytes to and from a vector of eight bits.

#include <QString>
#include <array>
#include <cstdint>

namespace quorvel {

using TVec = std::array<bool, 8>; // position k is bit k, bit 0 the least significant

class TmyLogic {
public:
    static QString BoolTxt(bool v, const QString& falsetxt, const QString& truetxt);
    static TVec ByteToBin(uint8_t dz);
    static uint8_t BinToByte(const TVec& V);
    // Bits 0 to 7; any other bit number is outside the byte: not set, and left unchanged.
    static bool TestBit(uint8_t n, int nrbit);
    static uint8_t ChangeBit(uint8_t n, int nr, bool state);
};

} // namespace quorvel

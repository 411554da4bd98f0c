#include "TmyLogic.h"

namespace quorvel {

QString TmyLogic::BoolTxt(bool v, const QString& falsetxt, const QString& truetxt) {
    return v ? truetxt : falsetxt;
}

TVec TmyLogic::ByteToBin(uint8_t dz) {
    TVec v{};
    for (int k = 0; k < 8; ++k)
        v[k] = TestBit(dz, k);
    return v;
}

uint8_t TmyLogic::BinToByte(const TVec& V) {
    uint8_t b = 0;
    for (int k = 0; k < 8; ++k)
        b = ChangeBit(b, k, V[k]);
    return b;
}

bool TmyLogic::TestBit(uint8_t n, int nrbit) {
    return nrbit >= 0 && nrbit <= 7 && (n >> nrbit) & 1;
}

uint8_t TmyLogic::ChangeBit(uint8_t n, int nr, bool state) {
    if (nr < 0 || nr > 7) return n;
    const uint8_t mask = uint8_t(1u << nr);
    return state ? uint8_t(n | mask) : uint8_t(n & ~mask);
}

} // namespace quorvel

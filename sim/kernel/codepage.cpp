#include "sim/kernel/codepage.h"

namespace sim {

namespace {

// 0x80 to 0x9F; the five unassigned bytes decode to the C1 code point of the same value.
const wchar_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

} // namespace

wchar_t DecodeAnsi(unsigned char byte)
{
    if (byte >= 0x80 && byte <= 0x9F) {
        return kHighControls[byte - 0x80];
    }
    return static_cast<wchar_t>(byte);
}

bool EncodeAnsi(wchar_t character, unsigned char* byte)
{
    if (character < 0x80 || (character >= 0xA0 && character <= 0xFF)) {
        *byte = static_cast<unsigned char>(character);
        return true;
    }
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] == character) {
            *byte = static_cast<unsigned char>(0x80 + i);
            return true;
        }
    }
    return false;
}

} // namespace sim

#include "install/hardware_id_checksum.h"

namespace {

const WORD kLowNibble[16] = {0x0000, 0xC0C1, 0xC181, 0x0140, 0xC301, 0x03C0, 0x0280, 0xC241,
                             0xC601, 0x06C0, 0x0780, 0xC741, 0x0500, 0xC5C1, 0xC481, 0x0440};
const WORD kHighNibble[16] = {0x0000, 0xCC01, 0xD801, 0x1400, 0xF001, 0x3C00, 0x2800, 0xE401,
                              0xA001, 0x6C00, 0x7800, 0xB401, 0x5000, 0x9C01, 0x8801, 0x4600};

} // namespace

WORD HardwareIdChecksum(const BYTE* bytes, size_t length)
{
    WORD value = 0;
    for (size_t i = 0; i < length; ++i) {
        BYTE index = static_cast<BYTE>((value & 0xFF) ^ bytes[i]);
        value = static_cast<WORD>(kHighNibble[index >> 4] ^ kLowNibble[index & 0x0F] ^ (value >> 8));
    }
    return value;
}

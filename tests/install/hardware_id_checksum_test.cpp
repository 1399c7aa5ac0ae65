// The hardware ID checksum: its known values, and where it agrees with the
// reflected CRC-16 (CRC-16/ARC) it resembles and where it must not.
#include <string>
#include <vector>

#include "install/hardware_id_checksum.h"
#include "tests/support/sim_test.h"

namespace {

WORD Checksum(const std::string& text)
{
    return HardwareIdChecksum(reinterpret_cast<const BYTE*>(text.data()), text.size());
}

// CRC-16/ARC bit by bit, written independently of the tool's tables. It also
// tells whether any step's table index had the high nibble 0xF, the only
// place where the tool's tables differ.
WORD Crc16Arc(const std::vector<BYTE>& bytes, bool* highNibbleF)
{
    WORD crc = 0;
    *highNibbleF = false;
    for (BYTE b : bytes) {
        if ((((crc & 0xFF) ^ b) & 0xF0) == 0xF0) {
            *highNibbleF = true;
        }
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) ? static_cast<WORD>((crc >> 1) ^ 0xA001) : static_cast<WORD>(crc >> 1);
        }
    }
    return crc;
}

TEST(HardwareIdChecksum, KnownValues)
{
    EXPECT_EQ(Checksum(""), 0x0000);
    EXPECT_EQ(Checksum("abc"), 0x9738);
    EXPECT_EQ(Checksum("123456789"), 0x593C) << "CRC-16/ARC would give 0xBB3D";
    EXPECT_EQ(Checksum("\xF0"), 0x4600) << "CRC-16/ARC would give 0x4400";
    EXPECT_EQ(Checksum("VADedudoro PX630KT"), 0x99A8);
}

TEST(HardwareIdChecksum, AgreesWithCrc16ArcExactlyWhereNoIndexHasHighNibbleF)
{
    std::vector<std::vector<BYTE>> inputs;
    for (int a = 0; a < 256; ++a) {
        inputs.push_back({static_cast<BYTE>(a)});
        for (int b = 0; b < 256; ++b) {
            inputs.push_back({static_cast<BYTE>(a), static_cast<BYTE>(b)});
        }
    }
    for (const char* text : {"abc", "123456789", "VADedudoro PX630KT", "VADedudoroPX710K"}) {
        inputs.emplace_back(text, text + std::string(text).size());
    }
    int agreeing = 0;
    int differing = 0;
    for (const std::vector<BYTE>& input : inputs) {
        bool highNibbleF = false;
        WORD crc = Crc16Arc(input, &highNibbleF);
        WORD ours = HardwareIdChecksum(input.data(), input.size());
        if (highNibbleF) {
            EXPECT_NE(ours, crc) << "input of " << input.size() << " bytes starting 0x" << std::hex << int(input[0]);
            ++differing;
        } else {
            EXPECT_EQ(ours, crc) << "input of " << input.size() << " bytes starting 0x" << std::hex << int(input[0]);
            ++agreeing;
        }
    }
    EXPECT_GT(agreeing, 1000);
    EXPECT_GT(differing, 1000);
}

} // namespace

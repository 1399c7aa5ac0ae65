// The 16-bit checksum that completes a printer's Plug and Play hardware ID.
#pragma once

#include <cstddef>

#include "common/wintypes.h"

// A table-driven 16-bit checksum over `length` bytes. Its tables match the
// nibble tables of the reflected CRC-16 with polynomial 0xA001 except for the
// last high-nibble entry (0x4600, not 0x4400): the hardware IDs the driver's
// INF lists were computed with exactly these tables, so they must not change.
WORD HardwareIdChecksum(const BYTE* bytes, size_t length);

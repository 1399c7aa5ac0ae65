// The machine's ANSI code page (CP_ACP) is Windows-1252, as on a Western
// European or US Windows.
#pragma once

#include <string>

namespace sim {

wchar_t DecodeAnsi(unsigned char byte);
// Returns false when the character has no byte in the code page.
bool EncodeAnsi(wchar_t character, unsigned char* byte);

} // namespace sim

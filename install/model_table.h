// The printers the tool knows: one compiled-in table of models.
#pragma once

#include "common/wintypes.h"

// The model's driver uses the language monitor.
#define MODEL_FLAG_LANGUAGE_MONITOR 0x10

struct ModelEntry {
    const WCHAR* manufacturer;
    const WCHAR* model; // null in the row that ends the table
    WORD idChecksum;    // HardwareIdChecksum of manufacturer and model, without blank
    BYTE flags;
};

extern const ModelEntry ModelTable[];

// The first row whose manufacturer and model, joined directly or with one
// blank, equal the description exactly; null when none does.
const ModelEntry* FindModel(const WCHAR* description);

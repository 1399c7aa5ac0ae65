#include "install/model_table.h"

#include <cwchar>

#include "common/format.h"

namespace {

const WCHAR kManufacturer[] = L"VADedudoro";

} // namespace

const ModelEntry ModelTable[] = {
    {kManufacturer, L"PX510KT", 0xC3C6, 0},
    {kManufacturer, L"PX511KT", 0x0397, 0},
    {kManufacturer, L"PX512KT", 0x0367, 0},
    {kManufacturer, L"PX513KT", 0xC336, 0},
    {kManufacturer, L"PX520KT", 0x85C6, 0},
    {kManufacturer, L"PX521KT", 0x4597, 0},
    {kManufacturer, L"PX522KT", 0x4567, 0},
    {kManufacturer, L"PX523KT", 0x8536, 0},
    {kManufacturer, L"PX630KT", 0x1B80, 0},
    {kManufacturer, L"PX631KT", 0xDBD3, 0},
    {kManufacturer, L"PX640KT", 0xAE00, 0},
    {kManufacturer, L"PX641KT", 0x6E53, 0},
    {kManufacturer, L"PX650KT", 0x9380, 0},
    {kManufacturer, L"PX651KT", 0x53D3, 0},
    {kManufacturer, L"PX660KT", 0xD780, 0},
    {kManufacturer, L"PX661KT", 0x17D3, 0},
    {kManufacturer, L"PX670KT", 0x2B81, 0},
    {kManufacturer, L"PX671KT", 0xEBD2, 0},
    {kManufacturer, L"PX710K", 0xBED0, 0},
    {kManufacturer, L"PX711K", 0x2ED1, 0},
    {kManufacturer, L"PX630K", 0x8070, 0},
    {kManufacturer, L"PX631K", 0x1271, 0},
    {nullptr, nullptr, 0, 0},
};

const ModelEntry* FindModel(const WCHAR* description)
{
    if (description == nullptr) {
        return nullptr;
    }
    for (const ModelEntry* row = ModelTable; row->model != nullptr; ++row) {
        WCHAR joined[100];
        WCHAR spaced[100];
        FormatBounded(joined, 100, L"%ws%ws", row->manufacturer, row->model);
        FormatBounded(spaced, 100, L"%ws %ws", row->manufacturer, row->model);
        if (wcscmp(description, joined) == 0 || wcscmp(description, spaced) == 0) {
            return row;
        }
    }
    return nullptr;
}

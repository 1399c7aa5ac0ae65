// The supported-model table, matching a port description to a row, and the
// install request built from a port and its row.
#include <cstring>
#include <cwchar>
#include <iterator>
#include <string>

#include "install/install_request.h"
#include "install/model_table.h"
#include "tests/support/sim_test.h"

namespace {

const char* const kModels[] = {"PX510KT", "PX511KT", "PX512KT", "PX513KT", "PX520KT", "PX521KT", "PX522KT", "PX523KT",
                               "PX630KT", "PX631KT", "PX640KT", "PX641KT", "PX650KT", "PX651KT", "PX660KT", "PX661KT",
                               "PX670KT", "PX671KT", "PX710K",  "PX711K",  "PX630K",  "PX631K"};

// The models the driver supports, by what their ports report.
TEST(ModelTable, EverySupportedModelIsFoundAndNothingElse)
{
    size_t rows = 0;
    for (const ModelEntry* row = ModelTable; row->model != nullptr; ++row) {
        ++rows;
    }
    EXPECT_EQ(rows, std::size(kModels));
    for (const char* model : kModels) {
        const std::string text = std::string("VADedudoro ") + model;
        const ModelEntry* row = FindModel(std::wstring(text.begin(), text.end()).c_str());
        ASSERT_NE(row, nullptr) << text;
        EXPECT_EQ(row->flags, 0) << text << ": no shipped model uses the language monitor";
    }
}

TEST(FindModel, MatchesTheWholeDescriptionExactlyWithOrWithoutOneBlank)
{
    const ModelEntry* px630kt = &ModelTable[8];
    EXPECT_EQ(FindModel(L"VADedudoro PX630KT"), px630kt);
    EXPECT_EQ(FindModel(L"VADedudoroPX630KT"), px630kt);
    EXPECT_EQ(FindModel(L"VADedudoro PX631K"), &ModelTable[21]);
    EXPECT_EQ(FindModel(L"VADedudoro PX510KT"), &ModelTable[0]);
    // Never a prefix, another case or other spacing.
    EXPECT_EQ(FindModel(L"VADedudoro PX630K"), &ModelTable[20]) << "PX630K is its own row";
    EXPECT_EQ(FindModel(L"VADedudoro PX630KTX"), nullptr);
    EXPECT_EQ(FindModel(L"VADedudoro PX63"), nullptr);
    EXPECT_EQ(FindModel(L"vadedudoro px630kt"), nullptr);
    EXPECT_EQ(FindModel(L"VADEDUDORO PX630KT"), nullptr);
    EXPECT_EQ(FindModel(L"VADedudoro  PX630KT"), nullptr);
    EXPECT_EQ(FindModel(L"VADedudoro PX630KT "), nullptr);
    EXPECT_EQ(FindModel(L" VADedudoro PX630KT"), nullptr);
    EXPECT_EQ(FindModel(L"Other PX630KT"), nullptr);
    EXPECT_EQ(FindModel(L""), nullptr);
    EXPECT_EQ(FindModel(nullptr), nullptr);
}

TEST(InstallRequest, TakesNamesFromTheRowAndPortFromTheRecord)
{
    UsbPortRecord port = {};
    wcscpy(port.portName, L"USB012");
    wcscpy(port.hardwareId, L"usbprint\\vadedudoro px630kt99a8");
    wcscpy(port.description, L"VADedudoroPX630KT");
    InstallRequest request;
    std::memset(&request, 0x5A, sizeof(request));
    const ModelEntry monitored = {L"VADedudoro", L"PX630KT", 0, MODEL_FLAG_LANGUAGE_MONITOR};
    BuildInstallRequest(&port, &monitored, &request);
    EXPECT_EQ(std::wstring(request.driverName), L"VADedudoro PX630KT") << "always with one blank";
    EXPECT_EQ(std::wstring(request.printerName), std::wstring(request.driverName));
    EXPECT_EQ(std::wstring(request.portName), L"USB012");
    EXPECT_EQ(std::wstring(request.hardwareId), L"usbprint\\vadedudoro px630kt99a8");
    EXPECT_EQ(request.flags, MODEL_FLAG_LANGUAGE_MONITOR);
    EXPECT_EQ(request.driverName[259], 0) << "the request is zero-filled first";
}

} // namespace

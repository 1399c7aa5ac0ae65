#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>

#include "res/resource.h"
#include "tests/support/driver_folder.h"
#include "tests/support/sim_test.h"

const std::wstring kFuzzFolder = L"C:\\Drivers\\PX Series\\";

std::wstring TakeText(FuzzedDataProvider& input, size_t maxChars)
{
    const size_t chars = input.ConsumeIntegralInRange<size_t>(0, maxChars);
    std::vector<uint8_t> bytes = input.ConsumeBytes<uint8_t>(chars * 2);
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const wchar_t unit = static_cast<wchar_t>(bytes[i] | (bytes[i + 1] << 8));
        text.push_back(unit != 0 ? unit : L' ');
    }
    return text;
}

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "finding: %s\n", what);
        std::abort();
    }
}

FuzzMachine::FuzzMachine()
{
    SetPlatform(&platform);
    machine.SetToolEntry([this](HINSTANCE instance, const wchar_t* commandLine) {
        std::set<void*> leaked;
        const int result = RunToolProcess(machine, instance, commandLine, &leaked);
        leakedBlocks += leaked.size();
        return result;
    });
    machine.messageBoxes.SetResponder([](const sim::MessageBoxRecord&) { return IDCANCEL; });
    machine.dialogs.SetUserPolicy([](const sim::DialogView& view) { return view.Enabled(IDCANCEL) ? IDCANCEL : 0; });
    InstallDriverFolder(machine, kFuzzFolder);
}

FuzzMachine::~FuzzMachine()
{
    machine.JoinThreads();
    ResetToolProcess(machine);
    SetPlatform(nullptr);
}

void FuzzMachine::CheckMachine()
{
    machine.JoinThreads();
    for (const std::string& violation : machine.Violations()) {
        std::fprintf(stderr, "violation: %s\n", violation.c_str());
    }
    Require(machine.Violations().empty(), "the machine reports misuse");
    Require(machine.WorkersCutShort().empty(), "a worker ended with its process mid-work");
    Require(OpenHandlesOfAnyKind(machine) == 0, "handles left open");
    Require(leakedBlocks + LeakedBlocks(machine).size() == 0, "heap blocks leaked");
}

void FuzzMachine::Check()
{
    CheckMachine();
    Require(machine.volume.RecycleBin().empty() && machine.shell.PermanentlyDeleted().empty(),
            "something was removed although the user cancelled");
}

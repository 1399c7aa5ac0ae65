#include "common/progress_report.h"

#include "common/catalogue.h"
#include "common/format.h"
#include "common/platform.h"
#include "common/run_log.h"

std::atomic<HWND> ProgressWindow{nullptr};
WCHAR StepText[512] = {0};

namespace {

void Send(HWND window, WPARAM position, const WCHAR* text)
{
    if (text != nullptr) {
        FormatBounded(StepText, 512, L"%ws", text);
        // What the user saw, and when, for whoever reads the log afterwards.
        NoteInRunLog(L"Progress: %ws", StepText);
    }
    Os().SendMessageW(window, WM_SHOW_STEP, position, text != nullptr ? STEP_TEXT_CHANGED : 0);
}

} // namespace

void ShowStep(UINT textId, int total)
{
    HWND window = ProgressWindow;
    if (window == nullptr) {
        return;
    }
    const DWORD lastError = Os().GetLastError();
    WCHAR text[256] = {0};
    LoadText(textId, text, 256);
    Send(window, total == 0 ? STEP_LENGTH_UNKNOWN : 0, text);
    Os().SetLastError(lastError);
}

void ShowPrinterStep(UINT textId, const WCHAR* printer, const WCHAR* port)
{
    HWND window = ProgressWindow;
    if (window == nullptr) {
        return;
    }
    const DWORD lastError = Os().GetLastError();
    WCHAR templateText[256] = {0};
    WCHAR text[512] = {0};
    LoadText(textId, templateText, 256);
    FormatBounded(text, 512, templateText, printer, port);
    Send(window, STEP_LENGTH_UNKNOWN, text);
    Os().SetLastError(lastError);
}

void ShowStepDone(int done, int total)
{
    HWND window = ProgressWindow;
    if (window == nullptr || total <= 0) {
        return;
    }
    const DWORD lastError = Os().GetLastError();
    Send(window, static_cast<WPARAM>(done * 100 / total), nullptr);
    Os().SetLastError(lastError);
}

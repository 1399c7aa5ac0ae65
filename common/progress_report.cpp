#include "common/progress_report.h"

#include "common/catalogue.h"
#include "common/format.h"
#include "common/platform.h"
#include "common/run_log.h"

std::atomic<HWND> ProgressWindow{nullptr};
WCHAR StepText[512] = {0};

namespace {

// Sends a position, and with `textId` a new step text formatted with up to
// two texts. The thread's last error is as it was.
void Send(WPARAM position, UINT textId, const WCHAR* first, const WCHAR* second)
{
    HWND window = ProgressWindow;
    if (window == nullptr) {
        return;
    }
    const DWORD lastError = Os().GetLastError();
    if (textId != 0) {
        WCHAR templateText[256] = {0};
        LoadText(textId, templateText, 256);
        FormatBounded(StepText, 512, templateText, first, second);
        // What the user saw, and when, for whoever reads the log afterwards.
        NoteInRunLog(L"Progress: %ws", StepText);
    }
    Os().SendMessageW(window, WM_SHOW_STEP, position, textId != 0 ? STEP_TEXT_CHANGED : 0);
    Os().SetLastError(lastError);
}

} // namespace

void ShowStep(UINT textId, int total)
{
    Send(total == 0 ? STEP_LENGTH_UNKNOWN : 0, textId, nullptr, nullptr);
}

void ShowPrinterStep(UINT textId, const WCHAR* printer, const WCHAR* port)
{
    Send(STEP_LENGTH_UNKNOWN, textId, printer, port);
}

void ShowStepDone(int done, int total)
{
    if (total > 0) {
        Send(static_cast<WPARAM>(done * 100 / total), 0, nullptr, nullptr);
    }
}

#include "install/install_loop.h"

#include "common/catalogue.h"
#include "common/format.h"
#include "common/globals.h"
#include "common/platform.h"
#include "common/progress_report.h"
#include "common/run_options.h"
#include "family/driver_files.h"
#include "install/install_request.h"
#include "install/model_table.h"
#include "install/package_install.h"
#include "install/usb_port_scan.h"
#include "res/resource.h"

namespace {

struct Messages {
    WCHAR text[260];
    WCHAR caption[260];
    WCHAR formatted[256];
    WCHAR restart[260];
    WCHAR withRestart[520];
};

void Load(Messages* messages, UINT textId)
{
    LoadText(textId, messages->text, 260);
    LoadText(IDS_MESSAGE_CAPTION, messages->caption, 260);
}

// Retry starts a new pass; any other answer (Cancel, or no box at all) ends the loop.
bool AskToRetry(Messages* messages)
{
    Load(messages, IDS_INSTALL_FAILED);
    FormatBounded(messages->formatted, 256, messages->text, static_cast<int>(Os().GetLastError()));
    return ShowBox(nullptr, messages->formatted, messages->caption, MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
}

void ReportInstalled(Messages* messages, const InstallRequest& request)
{
    if (RunsQuietly()) {
        return;
    }
    Load(messages, IDS_PRINTER_INSTALLED);
    FormatBounded(messages->formatted, 256, messages->text, request.printerName, request.portName);
    const WCHAR* text = messages->formatted;
    if (RestartRequired) {
        // One box still: the printer is installed, and a restart completes it.
        LoadText(IDS_RESTART_REQUIRED, messages->restart, 260);
        FormatBounded(messages->withRestart, 520, L"%ws\n\n%ws", messages->formatted, messages->restart);
        text = messages->withRestart;
    }
    ShowBox(nullptr, text, messages->caption, MB_ICONINFORMATION);
}

// OK scans again; any other answer ends the loop (0: the box could not be shown).
int AskForPrinter(Messages* messages)
{
    Load(messages, IDS_NO_PRINTER_FOUND);
    return ShowBox(nullptr, messages->text, messages->caption, MB_OKCANCEL | MB_ICONQUESTION);
}

// No supported printer is plugged in and no one can be asked: the package
// goes to the driver store, and Windows installs the printer when it comes.
int StageDriverPackage(const WCHAR* sourceInfPath)
{
    ShowStep(IDS_STEP_STAGING, 0);
    return DoUploadDriverPackage(sourceInfPath) == S_OK ? EXIT_DRIVER_STAGED : EXIT_FAILED;
}

enum class PassOutcome { Finished, Retry, Cancelled };

} // namespace

int RunInstallLoop()
{
    WCHAR sourceInfPath[MAX_PATH] = {0};
    FormatBounded(sourceInfPath, MAX_PATH, L"%ws\\%ws", InstallDirectory, DRIVER_INF_FILE);
    Messages messages = {};
    int lastResult = 0;
    for (;;) {
        bool found = false;
        PassOutcome outcome = PassOutcome::Finished;
        ShowStep(IDS_STEP_SCANNING, 0);
        ScanUsbPrinterPorts();
        for (const UsbPortRecord* port = UsbPortList; port != nullptr; port = port->next) {
            const ModelEntry* model = FindModel(port->description);
            if (model == nullptr) {
                continue;
            }
            found = true;
            InstallRequest request;
            BuildInstallRequest(port, model, &request);
            ShowPrinterStep(IDS_STEP_INSTALLING, request.printerName, request.portName);
            lastResult = InstallPrinter(&request, sourceInfPath);
            if (lastResult == 0) {
                outcome = AskToRetry(&messages) ? PassOutcome::Retry : PassOutcome::Cancelled;
                break;
            }
            ReportInstalled(&messages, request);
        }
        if (outcome == PassOutcome::Cancelled) {
            return EXIT_FAILED;
        }
        if (outcome == PassOutcome::Retry) {
            continue;
        }
        if (!found && RunsQuietly()) {
            return StageDriverPackage(sourceInfPath);
        }
        const int answer = found ? IDOK : AskForPrinter(&messages);
        if (answer != IDOK) {
            // Cancel is the user's; a box that could not be shown is a failure.
            return answer == IDCANCEL ? EXIT_CANCELLED : EXIT_FAILED;
        }
        if (lastResult != 0) {
            return RestartRequired ? EXIT_RESTART_REQUIRED : EXIT_OK;
        }
    }
}

// The user's script, the records, and the window operations any thread may
// call. The modal loop and the controls' messages are in dialog_loop.cpp.
#include "sim/ui/dialogs.h"

#include <algorithm>
#include <stdexcept>

namespace sim {

std::string StateChange::Describe() const
{
    const std::string id = std::to_string(control);
    switch (kind) {
    case Enabled:
        return "enable " + id;
    case Disabled:
        return "disable " + id;
    case Shown:
        return "show " + id;
    case Hidden:
        return "hide " + id;
    case Position:
        return "position " + std::to_string(value) + (posted ? " posted" : " sent");
    case TreeChanged:
        return "tree " + std::to_string(value) + " items";
    case TextSet:
        return "text " + id;
    case Marquee:
        return "marquee " + id + (value != 0 ? " on" : " off");
    case UserAction:
        break;
    }
    switch (value) {
    case Enter:
        return "user presses Enter";
    case Escape:
        return "user presses Esc";
    case CloseBox:
        return "user clicks the close box";
    default:
        return "user presses " + id;
    }
}

const ControlState& DialogRun::Control(int id) const
{
    for (const ControlState& control : controls) {
        if (control.id == id) {
            return control;
        }
    }
    throw std::out_of_range("the dialog has no control " + std::to_string(id));
}

std::vector<std::string> DialogRun::Log() const
{
    std::vector<std::string> lines;
    for (const StateChange& change : changes) {
        lines.push_back(change.Describe());
    }
    return lines;
}

namespace {

const ControlState* FindControl(const std::vector<ControlState>& controls, int id)
{
    auto found =
        std::find_if(controls.begin(), controls.end(), [id](const ControlState& control) { return control.id == id; });
    return found == controls.end() ? nullptr : &*found;
}

} // namespace

bool DialogView::Enabled(int id) const
{
    const ControlState* control = FindControl(controls, id);
    return control != nullptr && control->enabled;
}

bool DialogView::Visible(int id) const
{
    const ControlState* control = FindControl(controls, id);
    return control != nullptr && control->visible;
}

When Idle()
{
    return [](const DialogView& view) { return view.pendingMessages == 0 && view.threadsRunning == 0; };
}

When Disabled(int id)
{
    return [id](const DialogView& view) {
        const ControlState* control = FindControl(view.controls, id);
        return control != nullptr && !control->enabled;
    };
}

// ---- The script ----

void DialogManager::Script(Action action)
{
    std::lock_guard<std::mutex> guard(mutex_);
    script_.push_back(std::move(action));
    changed_.notify_all();
}

void DialogManager::ScriptPress(int button, When when)
{
    Script({StateChange::Button, button, std::move(when), false});
}

void DialogManager::ScriptEnter(When when)
{
    Script({StateChange::Enter, IDOK, std::move(when), false});
}

void DialogManager::ScriptEnterIfEver(When when)
{
    std::lock_guard<std::mutex> guard(mutex_);
    watchers_.push_back({StateChange::Enter, IDOK, std::move(when), false});
    changed_.notify_all();
}

void DialogManager::ScriptEscape(When when)
{
    Script({StateChange::Escape, IDCANCEL, std::move(when), false});
}

void DialogManager::ScriptCloseBox(When when)
{
    Script({StateChange::CloseBox, IDCANCEL, std::move(when), false});
}

void DialogManager::ScriptNextDialog()
{
    Script({StateChange::Button, 0, nullptr, true});
}

void DialogManager::SetUserPolicy(std::function<int(const DialogView&)> policy)
{
    std::lock_guard<std::mutex> guard(mutex_);
    policy_ = std::move(policy);
}

size_t DialogManager::UnusedActions() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return static_cast<size_t>(
        std::count_if(script_.begin(), script_.end(), [](const Action& action) { return !action.nextDialog; }));
}

// ---- Records ----

std::vector<DialogRun> DialogManager::Runs(int templateId) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    std::vector<DialogRun> runs;
    for (const auto& dialog : dialogs_) {
        if (templateId != 0 && dialog->run.templateId != templateId) {
            continue;
        }
        runs.push_back(dialog->run);
        for (const Control& control : dialog->controls) {
            if (control.kind == ControlKind::TreeView) {
                runs.back().tree = control.tree.Lines();
            }
        }
    }
    return runs;
}

size_t DialogManager::PendingMessages() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return active_ == nullptr ? 0 : active_->sent.size() + active_->posted.size();
}

size_t DialogManager::ThreadsRunning() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return threadsRunning_;
}

void DialogManager::ThreadStarted()
{
    std::lock_guard<std::mutex> guard(mutex_);
    ++threadsRunning_;
}

void DialogManager::ThreadEnded()
{
    std::lock_guard<std::mutex> guard(mutex_);
    --threadsRunning_;
    changed_.notify_all();
}

DialogView DialogManager::View(const Dialog& dialog) const
{
    DialogView view;
    view.controls = dialog.run.controls;
    view.threadsRunning = threadsRunning_;
    view.pendingMessages = dialog.sent.size() + dialog.posted.size();
    for (const Control& control : dialog.controls) {
        if (control.kind == ControlKind::ProgressBar) {
            view.progressPosition = control.position;
        } else if (control.kind == ControlKind::TreeView) {
            view.treeItems = control.tree.Count();
        }
    }
    return view;
}

void DialogManager::Record(Dialog& dialog, StateChange::Kind kind, int control, int value, bool posted)
{
    StateChange change;
    change.sequence = nextSequence_++;
    change.kind = kind;
    change.control = control;
    change.value = value;
    change.posted = posted;
    change.atMs = now_();
    dialog.run.changes.push_back(change);
}

int DialogManager::IndexOf(const Dialog& dialog, int id) const
{
    const ControlState* control = FindControl(dialog.run.controls, id);
    return control == nullptr ? -1 : static_cast<int>(control - dialog.run.controls.data());
}

// ---- Window operations ----

DialogManager::Window* DialogManager::Find(HWND window, const char* operation, DWORD* error)
{
    auto found = windows_.find(window);
    if (found == windows_.end()) {
        // Null is what GetDlgItem gives once the dialog is gone; any other
        // handle that never was a window is the tool's mistake.
        if (window != nullptr) {
            report_(std::string(operation) + " with a handle that is no window of the machine");
        }
        *error = ERROR_INVALID_WINDOW_HANDLE;
        return nullptr;
    }
    if (!found->second.dialog->run.running) {
        // Destroyed with its dialog: a late call fails, as it does on Windows.
        *error = ERROR_INVALID_WINDOW_HANDLE;
        return nullptr;
    }
    return &found->second;
}

BOOL DialogManager::EndDialog(HWND window, INT_PTR result, DWORD* error)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Window* found = Find(window, "EndDialog", error);
    if (found == nullptr) {
        return FALSE;
    }
    if (found->index >= 0) {
        report_("EndDialog of a control rather than the dialog");
        *error = ERROR_INVALID_WINDOW_HANDLE;
        return FALSE;
    }
    Dialog& dialog = *found->dialog;
    if (std::this_thread::get_id() != dialog.thread) {
        report_("EndDialog outside the dialog's own thread");
    }
    dialog.ending = true;
    dialog.run.ended = true;
    dialog.run.result = result;
    changed_.notify_all();
    return TRUE;
}

HWND DialogManager::GetDlgItem(HWND window, int id, DWORD* error)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Window* found = Find(window, "GetDlgItem", error);
    if (found == nullptr) {
        return nullptr;
    }
    int index = found->index < 0 ? IndexOf(*found->dialog, id) : -1; // controls have no controls
    if (index < 0) {
        *error = ERROR_CONTROL_ID_NOT_FOUND;
        return nullptr;
    }
    return found->dialog->run.controls[static_cast<size_t>(index)].hwnd;
}

BOOL DialogManager::EnableWindow(HWND window, BOOL enable, DWORD* error)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Window* found = Find(window, "EnableWindow", error);
    if (found == nullptr) {
        return FALSE;
    }
    if (found->index < 0) {
        report_("EnableWindow of the dialog window itself is not modelled by the simulated machine");
        return FALSE;
    }
    Dialog& dialog = *found->dialog;
    if (std::this_thread::get_id() == dialog.thread) {
        return ApplyEnable(dialog, found->index, enable != FALSE);
    }
    // Another thread's window changes on its own thread: a sent message, as Wine does it.
    Message message;
    message.target = window;
    message.request = Request::Enable;
    message.wParam = enable != FALSE ? 1 : 0;
    return static_cast<BOOL>(SendAcross(lock, dialog, message));
}

BOOL DialogManager::ShowWindow(HWND window, int command, DWORD* error)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Window* found = Find(window, "ShowWindow", error);
    if (found == nullptr) {
        return FALSE;
    }
    if (found->index < 0 || (command != SW_SHOW && command != SW_HIDE)) {
        report_("ShowWindow other than SW_SHOW or SW_HIDE of a control is not modelled by the simulated machine");
        return FALSE;
    }
    Dialog& dialog = *found->dialog;
    if (std::this_thread::get_id() == dialog.thread) {
        return ApplyShow(dialog, found->index, command == SW_SHOW);
    }
    Message message;
    message.target = window;
    message.request = Request::Show;
    message.wParam = command == SW_SHOW ? 1 : 0;
    return static_cast<BOOL>(SendAcross(lock, dialog, message));
}

LRESULT DialogManager::SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD* error)
{
    std::unique_lock<std::mutex> lock(mutex_);
    Window* found = Find(window, "SendMessageW", error);
    if (found == nullptr) {
        return 0;
    }
    Dialog& dialog = *found->dialog;
    const int index = found->index;
    const bool ownThread = std::this_thread::get_id() == dialog.thread;
    if (index >= 0 && dialog.controls[static_cast<size_t>(index)].kind == ControlKind::TreeView && !ownThread) {
        report_("a thread other than the dialog's sends a message to the tree view");
    }
    if (ownThread) {
        if (index >= 0) {
            return ControlMessage(dialog, index, message, wParam, lParam, false);
        }
        lock.unlock();
        return DialogMessage(dialog, message, wParam, lParam);
    }
    Message sent;
    sent.target = window;
    sent.message = message;
    sent.wParam = wParam;
    sent.lParam = lParam;
    return SendAcross(lock, dialog, sent);
}

BOOL DialogManager::PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD* error)
{
    if (window == nullptr) {
        // Posted to the calling thread's own queue, where no window takes it.
        return TRUE;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    Window* found = Find(window, "PostMessageW", error);
    if (found == nullptr) {
        return FALSE;
    }
    Dialog& dialog = *found->dialog;
    if (found->index >= 0 && dialog.controls[static_cast<size_t>(found->index)].kind == ControlKind::TreeView &&
        std::this_thread::get_id() != dialog.thread) {
        report_("a thread other than the dialog's posts a message to the tree view");
    }
    Message posted;
    posted.target = window;
    posted.message = message;
    posted.wParam = wParam;
    posted.lParam = lParam;
    posted.posted = true;
    dialog.posted.push_back(posted);
    changed_.notify_all();
    return TRUE;
}

namespace {

// A dialog's system menu is told by its window's handle with this bit set
// (windows are 16 apart), so the handle leads back to its dialog.
const uintptr_t kSystemMenuBit = 0x8;

} // namespace

HMENU DialogManager::GetSystemMenu(HWND window, DWORD* error)
{
    std::lock_guard<std::mutex> guard(mutex_);
    Window* found = Find(window, "GetSystemMenu", error);
    if (found == nullptr) {
        return nullptr;
    }
    if (found->index >= 0) {
        *error = ERROR_INVALID_MENU_HANDLE; // a child window has no system menu
        return nullptr;
    }
    return reinterpret_cast<HMENU>(reinterpret_cast<uintptr_t>(window) | kSystemMenuBit);
}

BOOL DialogManager::EnableMenuItem(HMENU menu, UINT item, UINT flags, DWORD* error)
{
    std::lock_guard<std::mutex> guard(mutex_);
    const uintptr_t value = reinterpret_cast<uintptr_t>(menu);
    Window* found = (value & kSystemMenuBit) != 0
                        ? Find(reinterpret_cast<HWND>(value & ~kSystemMenuBit), "EnableMenuItem", error)
                        : nullptr;
    if (found == nullptr || found->index >= 0) {
        *error = ERROR_INVALID_MENU_HANDLE;
        return -1;
    }
    if (item != SC_CLOSE || (flags & ~MF_GRAYED) != MF_BYCOMMAND) {
        report_("EnableMenuItem other than of the Close item by command is not modelled by the simulated machine");
        return -1;
    }
    DialogRun& run = found->dialog->run;
    const BOOL previous = run.closeBoxEnabled ? MF_ENABLED : MF_GRAYED;
    run.closeBoxEnabled = (flags & MF_GRAYED) == 0;
    return previous;
}

} // namespace sim

// The modal loop of the dialog's thread and what its controls do with the
// messages they get. Windows' order: messages sent from other threads first,
// then posted ones, then the user's input once nothing else is waiting.
#include <algorithm>
#include <cstdio>

#include "sim/ui/dialogs.h"

namespace sim {

INT_PTR DialogManager::RunModal(const DialogTemplate& dialogTemplate, HWND owner, DLGPROC procedure, LPARAM param,
                                DWORD* error)
{
    Dialog* dialog = nullptr;
    HWND firstTabStop = nullptr;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (procedure == nullptr || active_ != nullptr) {
            report_(procedure == nullptr ? "DialogBoxParamW without a dialog procedure"
                                         : "DialogBoxParamW while another dialog runs");
            *error = ERROR_INVALID_PARAMETER;
            return -1;
        }
        if (owner != nullptr && (windows_.count(owner) == 0 || !windows_[owner].dialog->run.running)) {
            report_("DialogBoxParamW with an owner that is no window of the machine");
            *error = ERROR_INVALID_WINDOW_HANDLE;
            return -1;
        }
        dialogs_.push_back(std::make_unique<Dialog>());
        dialog = dialogs_.back().get();
        dialog->procedure = procedure;
        dialog->thread = std::this_thread::get_id();
        dialog->run.dialog = reinterpret_cast<HWND>(nextWindow_);
        nextWindow_ += 0x10;
        dialog->run.owner = owner;
        dialog->run.param = param;
        dialog->run.caption = dialogTemplate.caption;
        dialog->run.templateId = dialogTemplate.id;
        windows_[dialog->run.dialog] = {dialog, -1};
        for (const ControlTemplate& control : dialogTemplate.controls) {
            HWND hwnd = reinterpret_cast<HWND>(nextWindow_);
            nextWindow_ += 0x10;
            windows_[hwnd] = {dialog, static_cast<int>(dialog->controls.size())};
            dialog->run.controls.push_back({control.id, hwnd, control.text, true, control.visible});
            dialog->controls.emplace_back();
            dialog->controls.back().kind = control.kind;
            if (control.tabStop && firstTabStop == nullptr) {
                firstTabStop = hwnd;
            }
        }
        active_ = dialog;
    }
    try {
        DialogMessage(*dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), param);
        return RunLoop(*dialog);
    } catch (...) {
        // A story stopped on the dialog's thread: the windows go, and a worker
        // waiting on them gets its answer instead of waiting for ever.
        std::lock_guard<std::mutex> guard(mutex_);
        Finish(*dialog, false);
        throw;
    }
}

INT_PTR DialogManager::RunLoop(Dialog& dialog)
{
    std::unique_lock<std::mutex> lock(mutex_);
    AfterDispatch(dialog);
    Arm(dialog);
    bool stuck = false;
    while (!dialog.ending) {
        if (!dialog.sent.empty()) {
            Message* message = dialog.sent.front();
            dialog.sent.pop_front();
            dialog.inFlight = message;
            lock.unlock();
            LRESULT result = Dispatch(dialog, *message);
            lock.lock();
            dialog.inFlight = nullptr;
            AfterDispatch(dialog);
            message->result = result;
            // An action this message made possible happens before its sender goes on.
            if (!dialog.armed && Arm(dialog)) {
                dialog.held = message;
            } else {
                Release(message);
            }
        } else if (!dialog.posted.empty()) {
            Message message = dialog.posted.front();
            dialog.posted.pop_front();
            lock.unlock();
            Dispatch(dialog, message);
            lock.lock();
            AfterDispatch(dialog);
            Arm(dialog);
        } else if (dialog.armed) {
            Action action = std::move(*dialog.armed);
            dialog.armed.reset();
            int index = action.input == StateChange::Button ? IndexOf(dialog, action.button) : -1;
            if (index >= 0 && !dialog.run.controls[static_cast<size_t>(index)].enabled) {
                // Disabled again before the click landed: the user waits for it once more.
                script_.push_front(std::move(action));
            } else {
                Record(dialog, StateChange::UserAction, action.button, action.input);
                Message input = InputOf(dialog, action);
                lock.unlock();
                Dispatch(dialog, input);
                lock.lock();
                AfterDispatch(dialog);
            }
            Release(dialog.held);
            dialog.held = nullptr;
        } else if (!Arm(dialog)) {
            if (threadsRunning_ == 0) {
                stuck = true;
                break;
            }
            changed_.wait(lock);
        }
    }
    Finish(dialog, stuck);
    return dialog.run.result;
}

bool DialogManager::Arm(Dialog& dialog)
{
    if (dialog.armed) {
        return true;
    }
    for (auto watcher = watchers_.begin(); watcher != watchers_.end(); ++watcher) {
        if (watcher->when(View(dialog))) {
            dialog.armed = std::move(*watcher);
            watchers_.erase(watcher);
            return true;
        }
    }
    while (!script_.empty() && !script_.front().nextDialog) {
        Action& next = script_.front();
        if (next.input == StateChange::Button) {
            int index = IndexOf(dialog, next.button);
            if (index < 0 || dialog.controls[static_cast<size_t>(index)].kind != ControlKind::Button) {
                report_("the script presses " + std::to_string(next.button) + ", which is no button of the dialog");
                script_.pop_front();
                continue;
            }
            if (!dialog.run.controls[static_cast<size_t>(index)].enabled) {
                return false;
            }
        }
        if (!next.when(View(dialog))) {
            return false;
        }
        dialog.armed = std::move(next);
        script_.pop_front();
        return true;
    }
    if (script_.empty() && policy_) {
        DialogView view = View(dialog);
        if (view.pendingMessages != 0 || view.threadsRunning != 0) {
            return false;
        }
        int button = policy_(view);
        int index = button != 0 ? IndexOf(dialog, button) : -1;
        if (index < 0 || !dialog.run.controls[static_cast<size_t>(index)].enabled) {
            return false;
        }
        Action action;
        action.button = button;
        action.when = Idle();
        dialog.armed = std::move(action);
        return true;
    }
    return false;
}

void DialogManager::Release(Message* message)
{
    if (message != nullptr) {
        message->done = true;
        changed_.notify_all();
    }
}

void DialogManager::Finish(Dialog& dialog, bool stuck)
{
    size_t unused = dialog.armed ? 1 : 0;
    dialog.armed.reset();
    watchers_.clear();
    while (!script_.empty() && !script_.front().nextDialog) {
        script_.pop_front();
        ++unused;
    }
    if (!script_.empty()) {
        script_.pop_front();
    }
    if (stuck) {
        report_("the dialog waits for a user action the script does not give (" + std::to_string(unused) +
                " scripted actions left, none possible)");
        dialog.run.result = -1;
    } else if (unused != 0) {
        report_("the dialog ended with " + std::to_string(unused) + " scripted user actions unused");
    }
    // The windows are destroyed: senders waiting on them get 0, posted messages are dropped.
    dialog.run.running = false;
    dialog.run.threadsRunningAtEnd = threadsRunning_;
    if (threadsRunning_ != 0) {
        endedWithThreads_();
    }
    for (Message* message : dialog.sent) {
        Release(message);
    }
    dialog.sent.clear();
    // Its handler stopped the story: the sender is answered all the same.
    Release(dialog.inFlight);
    dialog.inFlight = nullptr;
    Release(dialog.held);
    dialog.held = nullptr;
    dialog.posted.clear();
    active_ = nullptr;
    changed_.notify_all();
}

void DialogManager::AfterDispatch(Dialog& dialog)
{
    if (!dialog.treeChanged) {
        return;
    }
    dialog.treeChanged = false;
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        if (dialog.controls[i].kind == ControlKind::TreeView) {
            dialog.run.treeHistory.push_back(dialog.controls[i].tree.Lines());
            Record(dialog, StateChange::TreeChanged, dialog.run.controls[i].id,
                   static_cast<int>(dialog.run.treeHistory.back().size()));
        }
    }
}

LRESULT DialogManager::SendAcross(std::unique_lock<std::mutex>& lock, Dialog& dialog, Message message)
{
    dialog.sent.push_back(&message);
    changed_.notify_all();
    changed_.wait(lock, [&message] { return message.done; });
    return message.result;
}

DialogManager::Message DialogManager::InputOf(const Dialog& dialog, const Action& action) const
{
    Message input;
    input.target = dialog.run.dialog;
    input.message = WM_COMMAND;
    int cancel = IndexOf(dialog, IDCANCEL);
    HWND cancelButton = cancel < 0 ? nullptr : dialog.run.controls[static_cast<size_t>(cancel)].hwnd;
    switch (action.input) {
    case StateChange::Button:
        input.wParam = MAKEWPARAM(action.button, BN_CLICKED);
        input.lParam =
            reinterpret_cast<LPARAM>(dialog.run.controls[static_cast<size_t>(IndexOf(dialog, action.button))].hwnd);
        break;
    case StateChange::Enter:
        input.wParam = IDOK;
        break;
    case StateChange::Escape:
        input.wParam = IDCANCEL;
        input.lParam = reinterpret_cast<LPARAM>(cancelButton);
        break;
    case StateChange::CloseBox:
        input.message = WM_CLOSE;
        break;
    }
    return input;
}

LRESULT DialogManager::Dispatch(Dialog& dialog, const Message& message)
{
    if (message.target == dialog.run.dialog) {
        return DialogMessage(dialog, message.message, message.wParam, message.lParam);
    }
    std::lock_guard<std::mutex> guard(mutex_);
    int index = windows_.at(message.target).index;
    switch (message.request) {
    case Request::Enable:
        return ApplyEnable(dialog, index, message.wParam != 0);
    case Request::Show:
        return ApplyShow(dialog, index, message.wParam != 0);
    case Request::Message:
        break;
    }
    return ControlMessage(dialog, index, message.message, message.wParam, message.lParam, message.posted);
}

LRESULT DialogManager::DialogMessage(Dialog& dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR handled = dialog.procedure(dialog.run.dialog, message, wParam, lParam);
    if (handled == FALSE && message == WM_CLOSE) {
        // The dialog manager's own WM_CLOSE: Cancel's command, unless that button is disabled.
        std::lock_guard<std::mutex> guard(mutex_);
        int cancel = IndexOf(dialog, IDCANCEL);
        if (cancel < 0 || dialog.run.controls[static_cast<size_t>(cancel)].enabled) {
            Message command;
            command.target = dialog.run.dialog;
            command.message = WM_COMMAND;
            command.wParam = IDCANCEL;
            command.lParam =
                cancel < 0 ? 0 : reinterpret_cast<LPARAM>(dialog.run.controls[static_cast<size_t>(cancel)].hwnd);
            command.posted = true;
            dialog.posted.push_back(command);
        }
    }
    if (message == WM_SETICON && (wParam == ICON_SMALL || wParam == ICON_BIG)) {
        // The dialog procedure passes it on, and the window keeps the icon.
        std::lock_guard<std::mutex> guard(mutex_);
        HICON previous = dialog.run.icons[wParam];
        dialog.run.icons[wParam] = reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(previous);
    }
    // Without SetWindowLongPtr(DWLP_MSGRESULT), which the machine does not model, a dialog answers 0.
    return 0;
}

LRESULT DialogManager::ControlMessage(Dialog& dialog, int index, UINT message, WPARAM wParam, LPARAM lParam,
                                      bool posted)
{
    Control& control = dialog.controls[static_cast<size_t>(index)];
    ControlState& state = dialog.run.controls[static_cast<size_t>(index)];
    if (message == WM_NULL) {
        return 0;
    }
    if (control.kind == ControlKind::TreeView) {
        return TreeMessage(dialog, control, message, wParam, lParam);
    }
    if (control.kind == ControlKind::ProgressBar && message == PBM_SETPOS) {
        // The range stays the control's default, 0 to 100; positions outside it are clamped.
        int previous = control.position;
        control.position = std::clamp(static_cast<int>(wParam), 0, 100);
        Record(dialog, StateChange::Position, state.id, control.position, posted);
        const StateChange& change = dialog.run.changes.back();
        dialog.run.progress.push_back(
            {state.id, control.position, posted, state.visible, change.sequence, change.atMs});
        return previous;
    }
    if (control.kind == ControlKind::ProgressBar && message == PBM_GETPOS) {
        return control.position;
    }
    if (control.kind == ControlKind::ProgressBar && message == PBM_SETMARQUEE) {
        // A bar made with PBS_MARQUEE runs or stands; the animation's speed is not modelled.
        control.marquee = wParam != 0;
        Record(dialog, StateChange::Marquee, state.id, control.marquee ? 1 : 0, posted);
        return TRUE;
    }
    if (control.kind == ControlKind::Static && message == WM_SETTEXT) {
        if (posted) {
            report_("WM_SETTEXT posted: the text it points to may be gone when it arrives");
            return FALSE;
        }
        state.text = lParam != 0 ? reinterpret_cast<const wchar_t*>(lParam) : L"";
        Record(dialog, StateChange::TextSet, state.id, 0, posted);
        const StateChange& change = dialog.run.changes.back();
        dialog.run.texts.push_back({state.id, state.text, change.sequence, change.atMs});
        return TRUE;
    }
    char hex[16];
    std::snprintf(hex, sizeof(hex), "0x%X", message);
    report_("message " + std::string(hex) + " to control " + std::to_string(state.id) +
            " is not modelled by the simulated machine");
    return 0;
}

LRESULT DialogManager::TreeMessage(Dialog& dialog, Control& control, UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    switch (message) {
    case TVM_INSERTITEMW: {
        const auto* insert = reinterpret_cast<const TVINSERTSTRUCTW*>(lParam);
        if (insert == nullptr || insert->item.mask != TVIF_TEXT || insert->item.pszText == nullptr ||
            insert->item.pszText == LPSTR_TEXTCALLBACKW || insert->hInsertAfter == TVI_SORT) {
            report_("TVM_INSERTITEMW other than with a text alone, first or last or after an item, is not modelled");
            return 0;
        }
        // The control keeps its own copy of the text.
        result = reinterpret_cast<LRESULT>(
            control.tree.Insert(insert->hParent, insert->hInsertAfter, std::wstring(insert->item.pszText)));
        break;
    }
    case TVM_DELETEITEM:
        result = control.tree.Delete(reinterpret_cast<HTREEITEM>(lParam)) ? TRUE : FALSE;
        break;
    case TVM_EXPAND:
        if (wParam != TVE_EXPAND && wParam != TVE_COLLAPSE && wParam != TVE_TOGGLE) {
            report_("TVM_EXPAND other than expand, collapse or toggle is not modelled");
            return 0;
        }
        result = control.tree.Expand(reinterpret_cast<HTREEITEM>(lParam), static_cast<UINT>(wParam)) ? TRUE : FALSE;
        break;
    case TVM_GETCOUNT:
        return static_cast<LRESULT>(control.tree.Count());
    default: {
        char hex[16];
        std::snprintf(hex, sizeof(hex), "0x%X", message);
        report_("tree-view message " + std::string(hex) + " is not modelled by the simulated machine");
        return 0;
    }
    }
    dialog.treeChanged = dialog.treeChanged || result != 0;
    return result;
}

BOOL DialogManager::ApplyEnable(Dialog& dialog, int index, bool enable)
{
    ControlState& state = dialog.run.controls[static_cast<size_t>(index)];
    BOOL wasDisabled = state.enabled ? FALSE : TRUE;
    if (state.enabled != enable) {
        state.enabled = enable;
        Record(dialog, enable ? StateChange::Enabled : StateChange::Disabled, state.id, 0);
    }
    return wasDisabled;
}

BOOL DialogManager::ApplyShow(Dialog& dialog, int index, bool show)
{
    ControlState& state = dialog.run.controls[static_cast<size_t>(index)];
    BOOL wasVisible = state.visible ? TRUE : FALSE;
    if (state.visible != show) {
        state.visible = show;
        Record(dialog, show ? StateChange::Shown : StateChange::Hidden, state.id, 0);
    }
    return wasVisible;
}

} // namespace sim

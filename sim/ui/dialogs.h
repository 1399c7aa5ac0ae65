// The dialog manager of the simulated machine: a modal dialog with its
// controls, the message queue of the thread that runs it, and the user, who
// acts from a script the test writes. A dialog the script leaves waiting, or
// a script the dialog leaves unused, is a test failure, never a hang.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/wintypes.h"
#include "sim/ui/tree_view.h"

namespace sim {

enum class ControlKind { Button, Static, TreeView, ProgressBar };

// A dialog template as the resource loader would find it for the machine's
// user-interface language.
struct ControlTemplate {
    int id = 0;
    ControlKind kind = ControlKind::Static;
    std::wstring text;
    bool visible = true;
    bool tabStop = false;
};
struct DialogTemplate {
    int id = 0; // its resource identifier
    std::wstring caption;
    std::vector<ControlTemplate> controls; // in template order
};

struct ControlState {
    int id = 0;
    HWND hwnd = nullptr;
    std::wstring text;
    bool enabled = true;
    bool visible = true;
};

// What changed on screen, or what the user did, in the order it happened.
struct StateChange {
    enum Kind { Enabled, Disabled, Shown, Hidden, Position, TreeChanged, UserAction, TextSet, Marquee };
    enum Input { Button, Enter, Escape, CloseBox };
    uint64_t sequence = 0; // increasing across the machine
    uint64_t atMs = 0;     // the virtual time it happened
    Kind kind = Enabled;
    int control = 0;     // the control's id; for UserAction the button pressed
    int value = 0;       // Position: the position; TreeChanged: the items; UserAction: the Input; Marquee: on (1)
    bool posted = false; // Position: PBM_SETPOS came posted rather than sent

    // "disable 1", "show 1003", "position 80 sent", "tree 4 items", "text 1004",
    // "marquee 1006 on", "user presses 2", "user presses Enter", "user presses Esc",
    // "user clicks the close box"
    std::string Describe() const;
};

struct ProgressStep {
    int control = 0;
    int position = 0;
    bool posted = false;
    bool visible = false; // the bar's visibility when it took the position
    uint64_t sequence = 0;
    uint64_t atMs = 0;
};

// A text a control took through WM_SETTEXT.
struct TextStep {
    int control = 0;
    std::wstring text;
    uint64_t sequence = 0;
    uint64_t atMs = 0;
};

// One dialog shown by DialogBoxParamW, as it is now or as it ended.
struct DialogRun {
    int templateId = 0;
    HWND dialog = nullptr;
    HWND owner = nullptr;
    LPARAM param = 0;
    std::wstring caption;
    bool running = true; // until DialogBoxParamW returns
    bool ended = false;  // ended through EndDialog
    INT_PTR result = 0;  // what DialogBoxParamW returned (-1 when the script left it waiting)
    size_t threadsRunningAtEnd = 0;
    std::vector<ControlState> controls;             // in template order
    std::vector<TreeLine> tree;                     // the tree view's items now
    std::vector<std::vector<TreeLine>> treeHistory; // after each message that changed the tree
    std::vector<ProgressStep> progress;
    std::vector<TextStep> texts;
    std::vector<StateChange> changes;
    bool closeBoxEnabled = true;         // the system menu's Close item
    HICON icons[2] = {nullptr, nullptr}; // WM_SETICON: ICON_SMALL, ICON_BIG

    const ControlState& Control(int id) const; // throws std::out_of_range for an unknown id
    std::vector<std::string> Log() const;      // the changes, described
};

// What the user sees when deciding to act, and whether the tool is busy.
struct DialogView {
    std::vector<ControlState> controls;
    int progressPosition = 0;
    size_t threadsRunning = 0;  // threads started through CreateThread, not ended yet
    size_t pendingMessages = 0; // sent or posted, not yet handled by the dialog's thread
    size_t treeItems = 0;

    bool Enabled(int id) const;
    bool Visible(int id) const;
};
// A condition for the user's next action. It runs under the dialog manager's
// lock and must only read the view.
using When = std::function<bool(const DialogView&)>;
// Nothing pending and no thread of the tool running.
When Idle();
// The control is disabled. A worker that disables it waits in that call until
// the action has been handled, so the action lands at that point of its run.
When Disabled(int id);

class DialogManager {
public:
    using Reporter = std::function<void(const std::string&)>;
    // `endedWithThreads` runs when a dialog ends while threads of the tool still
    // run, before any of them learns that its window is gone.
    // `now` reads the virtual clock, which dates every change.
    DialogManager(Reporter reportViolation, std::function<void()> endedWithThreads, std::function<uint64_t()> now)
        : report_(std::move(reportViolation)), endedWithThreads_(std::move(endedWithThreads)), now_(std::move(now))
    {
    }
    DialogManager(const DialogManager&) = delete;
    DialogManager& operator=(const DialogManager&) = delete;

    // ---- The user's script, acted out in order by the dialogs to come ----
    // Clicks a button: WM_COMMAND (id, BN_CLICKED) from the button. A disabled
    // button cannot be clicked, so the action also waits for it to be enabled.
    void ScriptPress(int button, When when = Idle());
    // WM_COMMAND IDOK with no control, whatever the state of the buttons: a
    // command the tool must cope with while its "Remove" button is disabled.
    void ScriptEnter(When when = Idle());
    // WM_COMMAND IDCANCEL from the Cancel button's handle, whatever its state,
    // as the dialog manager turns the Esc key into it.
    void ScriptEscape(When when = Idle());
    // WM_CLOSE; unless the dialog procedure handles it, the dialog manager
    // posts WM_COMMAND IDCANCEL, and only while the Cancel button is enabled.
    void ScriptCloseBox(When when = Idle());
    // Enter the first time `when` holds, wherever the script stands, and never
    // if that moment does not come: a key pressed at a moment that a correct
    // tool may never show. Dropped when the dialog ends.
    void ScriptEnterIfEver(When when);
    // The actions scripted after this belong to the next dialog.
    void ScriptNextDialog();
    // Once the script is used up: asked whenever the dialog is idle, returns
    // the enabled button the user clicks next, or 0 when the user can do
    // nothing (with no thread running, the dialog is then stuck). Runs under
    // the dialog manager's lock and must only read the view.
    void SetUserPolicy(std::function<int(const DialogView&)> policy);
    size_t UnusedActions() const;

    // ---- Records ----
    // Every dialog shown, or those of one template.
    std::vector<DialogRun> Runs(int templateId = 0) const;
    size_t PendingMessages() const;
    size_t ThreadsRunning() const;

    // ---- For the machine's threads: the dialog is idle only when none runs ----
    void ThreadStarted();
    void ThreadEnded();

    // ---- For the platform operations: each returns what the Windows
    // ---- function returns and leaves its error code in *error (0: none).
    INT_PTR RunModal(const DialogTemplate& dialogTemplate, HWND owner, DLGPROC procedure, LPARAM param, DWORD* error);
    BOOL EndDialog(HWND dialog, INT_PTR result, DWORD* error);
    HWND GetDlgItem(HWND dialog, int id, DWORD* error);
    BOOL EnableWindow(HWND window, BOOL enable, DWORD* error);
    BOOL ShowWindow(HWND window, int command, DWORD* error);
    LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD* error);
    BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD* error);
    // The dialog's system menu stands for its Close item alone.
    HMENU GetSystemMenu(HWND window, DWORD* error);
    BOOL EnableMenuItem(HMENU menu, UINT item, UINT flags, DWORD* error);

private:
    struct Action {
        StateChange::Input input = StateChange::Button;
        int button = 0;
        When when;
        bool nextDialog = false; // a boundary between the scripts of two dialogs
    };
    enum class Request { Message, Enable, Show };
    struct Message {
        HWND target = nullptr;
        Request request = Request::Message;
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
        bool posted = false;
        bool done = false; // a send from another thread has its result
        LRESULT result = 0;
    };
    struct Control {
        ControlKind kind = ControlKind::Static;
        int position = 0;
        bool marquee = false;
        TreeView tree;
    };
    struct Dialog {
        DialogRun run;
        DLGPROC procedure = nullptr;
        std::thread::id thread;
        std::vector<Control> controls; // beside run.controls
        std::deque<Message*> sent;     // from other threads, waiting in SendMessageW
        std::deque<Message> posted;
        bool ending = false;
        std::optional<Action> armed; // the user has acted; the input waits for the queue
        Message* held = nullptr;     // a sender kept waiting until that input is handled
        Message* inFlight = nullptr; // a send the dialog's thread is handling now
        bool treeChanged = false;
    };
    struct Window {
        Dialog* dialog = nullptr;
        int index = -1; // the control's index; -1 for the dialog itself
    };

    void Script(Action action);
    Window* Find(HWND window, const char* operation, DWORD* error);
    DialogView View(const Dialog& dialog) const;
    void Record(Dialog& dialog, StateChange::Kind kind, int control, int value, bool posted = false);
    bool Arm(Dialog& dialog);
    void Release(Message* message);
    INT_PTR RunLoop(Dialog& dialog);
    void Finish(Dialog& dialog, bool stuck);
    void AfterDispatch(Dialog& dialog);
    LRESULT SendAcross(std::unique_lock<std::mutex>& lock, Dialog& dialog, Message message);
    LRESULT Dispatch(Dialog& dialog, const Message& message);
    Message InputOf(const Dialog& dialog, const Action& action) const;
    LRESULT DialogMessage(Dialog& dialog, UINT message, WPARAM wParam, LPARAM lParam);
    // The rest run under the lock.
    LRESULT ControlMessage(Dialog& dialog, int index, UINT message, WPARAM wParam, LPARAM lParam, bool posted);
    LRESULT TreeMessage(Dialog& dialog, Control& control, UINT message, WPARAM wParam, LPARAM lParam);
    BOOL ApplyEnable(Dialog& dialog, int index, bool enable);
    BOOL ApplyShow(Dialog& dialog, int index, bool show);
    int IndexOf(const Dialog& dialog, int id) const;

    Reporter report_;
    std::function<void()> endedWithThreads_;
    std::function<uint64_t()> now_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Action> script_;
    std::vector<Action> watchers_; // ScriptEnterIfEver's, for the running dialog
    std::function<int(const DialogView&)> policy_;
    std::vector<std::unique_ptr<Dialog>> dialogs_;
    Dialog* active_ = nullptr;
    std::map<HWND, Window> windows_;
    uintptr_t nextWindow_ = 0x30010;
    uint64_t nextSequence_ = 1;
    size_t threadsRunning_ = 0;
};

} // namespace sim

// Message boxes answered from a script the test writes. A box the script
// did not foresee is a test failure, never a silent default.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim {

struct MessageBoxRecord {
    HWND owner = nullptr;
    std::wstring text;
    std::optional<std::wstring> caption; // none when the caller passed null
    UINT type = 0;
    int answer = 0;
};

class MessageBoxes {
public:
    using Reporter = std::function<void(const std::string&)>;
    explicit MessageBoxes(Reporter reportViolation) : report_(std::move(reportViolation)) {}

    // The next box must show exactly this text, caption and type; it is answered
    // with `answer`, after `whileShown` has run (the user acting meanwhile, say
    // plugging in a printer).
    void Expect(const std::wstring& text, const std::wstring& caption, UINT type, int answer,
                std::function<void()> whileShown = nullptr);
    // As Expect, for a box shown with a null caption.
    void ExpectWithoutCaption(const std::wstring& text, UINT type, int answer);

    // Answers every box once the script is used up: a user who decides for
    // himself, for runs whose boxes cannot be foreseen one by one.
    void SetResponder(std::function<int(const MessageBoxRecord&)> responder);

    int Show(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

    std::vector<MessageBoxRecord> Shown() const;
    size_t Unanswered() const;

private:
    struct Expected {
        std::wstring text;
        std::optional<std::wstring> caption;
        UINT type;
        int answer;
        std::function<void()> whileShown;
    };
    Reporter report_;
    mutable std::mutex mutex_;
    std::deque<Expected> script_;
    std::function<int(const MessageBoxRecord&)> responder_;
    std::vector<MessageBoxRecord> shown_;
};

} // namespace sim

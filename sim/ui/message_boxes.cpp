#include "sim/ui/message_boxes.h"

#include "sim/kernel/wide.h"

namespace sim {

void MessageBoxes::Expect(const std::wstring& text, const std::wstring& caption, UINT type, int answer,
                          std::function<void()> whileShown)
{
    std::lock_guard<std::mutex> guard(mutex_);
    script_.push_back({text, caption, type, answer, std::move(whileShown)});
}

void MessageBoxes::ExpectWithoutCaption(const std::wstring& text, UINT type, int answer)
{
    std::lock_guard<std::mutex> guard(mutex_);
    script_.push_back({text, std::nullopt, type, answer, nullptr});
}

void MessageBoxes::SetResponder(std::function<int(const MessageBoxRecord&)> responder)
{
    std::lock_guard<std::mutex> guard(mutex_);
    responder_ = std::move(responder);
}

int MessageBoxes::Show(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    MessageBoxRecord record;
    record.owner = owner;
    record.text = text != nullptr ? text : L"";
    if (caption != nullptr) {
        record.caption = caption;
    }
    record.type = type;

    std::string violation;
    std::function<void()> whileShown;
    std::function<int(const MessageBoxRecord&)> responder;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        if (script_.empty() && responder_) {
            responder = responder_;
        } else if (script_.empty()) {
            violation = "unexpected message box: \"" + Utf8(record.text) + "\"";
            record.answer = IDCANCEL;
        } else {
            Expected expected = script_.front();
            script_.pop_front();
            if (expected.text != record.text || expected.caption != record.caption || expected.type != type) {
                violation = "message box \"" + Utf8(record.text) + "\" (caption \"" +
                            Utf8(record.caption.value_or(L"<null>")) + "\", type " + std::to_string(type) +
                            ") where the script expected \"" + Utf8(expected.text) + "\" (caption \"" +
                            Utf8(expected.caption.value_or(L"<null>")) + "\", type " + std::to_string(expected.type) +
                            ")";
                record.answer = IDCANCEL;
            } else {
                record.answer = expected.answer;
                whileShown = expected.whileShown;
            }
        }
        if (!responder) {
            shown_.push_back(record);
        }
    }
    if (responder) {
        // Outside the lock: the responder may act on the machine.
        record.answer = responder(record);
        std::lock_guard<std::mutex> guard(mutex_);
        shown_.push_back(record);
        return record.answer;
    }
    if (!violation.empty()) {
        report_(violation);
    }
    if (whileShown) {
        whileShown();
    }
    return record.answer;
}

std::vector<MessageBoxRecord> MessageBoxes::Shown() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return shown_;
}

size_t MessageBoxes::Unanswered() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return script_.size();
}

} // namespace sim

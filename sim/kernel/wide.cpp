#include "sim/kernel/wide.h"

#include <cwctype>

namespace sim {

namespace {

wchar_t FoldChar(wchar_t c)
{
    // Paths and names are mostly ASCII: those need no call into the C library.
    return c < 0x80 ? (c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c)
                    : static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
}

} // namespace

std::wstring FoldCase(const std::wstring& text)
{
    std::wstring folded = text;
    for (wchar_t& c : folded) {
        c = FoldChar(c);
    }
    return folded;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldChar(a[i]) != FoldChar(b[i])) {
            return false;
        }
    }
    return true;
}

std::string Utf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t wc : text) {
        auto c = static_cast<uint32_t>(wc);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring Widen(const std::string& utf8)
{
    std::wstring out;
    for (size_t i = 0; i < utf8.size();) {
        auto b = static_cast<unsigned char>(utf8[i]);
        uint32_t c = b;
        size_t extra = 0;
        if (b >= 0xF0) {
            c = b & 0x07;
            extra = 3;
        } else if (b >= 0xE0) {
            c = b & 0x0F;
            extra = 2;
        } else if (b >= 0xC0) {
            c = b & 0x1F;
            extra = 1;
        }
        ++i;
        for (size_t k = 0; k < extra && i < utf8.size(); ++k, ++i) {
            c = (c << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
        }
        out += static_cast<wchar_t>(c);
    }
    return out;
}

std::wstring BoundedText(const wchar_t* text, size_t capacity)
{
    size_t length = 0;
    while (length < capacity && text[length] != 0) {
        ++length;
    }
    return std::wstring(text, length);
}

} // namespace sim

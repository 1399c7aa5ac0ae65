#include "common/win_format.h"

#include <cstdint>

namespace {

struct Output {
    WCHAR* destination;
    size_t limit; // characters that may be written before the terminator
    size_t length;
    bool truncated;

    void Put(WCHAR c)
    {
        if (length < limit) {
            destination[length++] = c;
        } else {
            truncated = true;
        }
    }

    void Repeat(WCHAR c, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            Put(c);
        }
    }
};

struct Conversion {
    bool leftAlign = false;
    bool alternate = false;
    bool zeroPad = false;
    size_t width = 0;
    bool hasPrecision = false;
    size_t precision = 0;
    bool narrow = false; // h
    bool wide = false;   // l, w
    bool wide64 = false; // I64, ll
};

const WCHAR* ReadNumber(const WCHAR* p, size_t* value)
{
    *value = 0;
    while (*p >= L'0' && *p <= L'9') {
        // Saturate instead of wrapping on absurd widths.
        if (*value < 100000) {
            *value = *value * 10 + static_cast<size_t>(*p - L'0');
        }
        ++p;
    }
    return p;
}

const WCHAR* ReadConversion(const WCHAR* p, Conversion* conversion)
{
    for (;; ++p) {
        if (*p == L'-') {
            conversion->leftAlign = true;
        } else if (*p == L'#') {
            conversion->alternate = true;
        } else if (*p == L'0') {
            conversion->zeroPad = true;
        } else {
            break;
        }
    }
    p = ReadNumber(p, &conversion->width);
    if (*p == L'.') {
        conversion->hasPrecision = true;
        p = ReadNumber(p + 1, &conversion->precision);
    }
    if (*p == L'I' && p[1] == L'6' && p[2] == L'4') {
        conversion->wide64 = true;
        p += 3;
    } else if (*p == L'l' && p[1] == L'l') {
        conversion->wide64 = true;
        p += 2;
    } else if (*p == L'h') {
        conversion->narrow = true;
        ++p;
    } else if (*p == L'l' || *p == L'w') {
        conversion->wide = true;
        ++p;
    }
    return p;
}

void PutPadded(Output* out, const Conversion& conversion, size_t textLength, WCHAR fill)
{
    if (!conversion.leftAlign && conversion.width > textLength) {
        out->Repeat(fill, conversion.width - textLength);
    }
}

void PutTrailing(Output* out, const Conversion& conversion, size_t textLength)
{
    if (conversion.leftAlign && conversion.width > textLength) {
        out->Repeat(L' ', conversion.width - textLength);
    }
}

// Never reads past the precision: the argument need not be terminated there.
template <typename Char>
void PutString(Output* out, const Conversion& conversion, const Char* text, const Char* nullText)
{
    if (text == nullptr) {
        text = nullText;
    }
    size_t length = 0;
    while ((!conversion.hasPrecision || length < conversion.precision) && text[length] != 0) {
        ++length;
    }
    PutPadded(out, conversion, length, L' ');
    for (size_t i = 0; i < length; ++i) {
        // Narrow text is taken byte for byte.
        out->Put(sizeof(Char) == 1 ? static_cast<WCHAR>(static_cast<unsigned char>(text[i]))
                                   : static_cast<WCHAR>(text[i]));
    }
    PutTrailing(out, conversion, length);
}

void PutInteger(Output* out, const Conversion& conversion, uint64_t magnitude, bool negative, unsigned base, bool upper)
{
    const char* digitSet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    WCHAR digits[24];
    size_t count = 0;
    do {
        digits[count++] = static_cast<WCHAR>(digitSet[magnitude % base]);
        magnitude /= base;
    } while (magnitude != 0);

    size_t minimumDigits = conversion.hasPrecision ? conversion.precision : 0;
    if (minimumDigits > 512) {
        minimumDigits = 512;
    }
    size_t zeros = minimumDigits > count ? minimumDigits - count : 0;
    const WCHAR* prefix = negative ? L"-" : L"";
    if (conversion.alternate && base == 16 && !(count == 1 && digits[0] == L'0')) {
        prefix = upper ? L"0X" : L"0x";
    }
    size_t prefixLength = 0;
    while (prefix[prefixLength] != 0) {
        ++prefixLength;
    }
    size_t total = prefixLength + zeros + count;
    bool padWithZeros = conversion.zeroPad && !conversion.leftAlign && !conversion.hasPrecision;
    if (padWithZeros && conversion.width > total) {
        zeros += conversion.width - total;
        total = conversion.width;
    }
    PutPadded(out, conversion, total, L' ');
    for (size_t i = 0; i < prefixLength; ++i) {
        out->Put(prefix[i]);
    }
    out->Repeat(L'0', zeros);
    while (count > 0) {
        out->Put(digits[--count]);
    }
    PutTrailing(out, conversion, total);
}

void PutSigned(Output* out, const Conversion& conversion, int64_t value)
{
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    PutInteger(out, conversion, magnitude, value < 0, 10, false);
}

} // namespace

size_t FormatWindowsV(WCHAR* destination, size_t capacity, const WCHAR* format, va_list args, bool* truncated)
{
    Output out{destination, capacity - 1, 0, false};
    va_list ap;
    va_copy(ap, args);
    for (const WCHAR* p = format; *p != 0;) {
        if (*p != L'%') {
            out.Put(*p++);
            continue;
        }
        ++p;
        if (*p == L'%') {
            out.Put(*p++);
            continue;
        }
        Conversion conversion;
        p = ReadConversion(p, &conversion);
        WCHAR type = *p;
        if (type == 0) {
            break;
        }
        ++p;
        switch (type) {
        case L'c':
        case L'C': {
            WCHAR c = static_cast<WCHAR>(va_arg(ap, int));
            bool narrow = type == L'c' ? conversion.narrow : !conversion.wide;
            if (narrow) {
                c = static_cast<WCHAR>(static_cast<unsigned char>(c));
            }
            PutPadded(&out, conversion, 1, L' ');
            out.Put(c);
            PutTrailing(&out, conversion, 1);
            break;
        }
        case L's':
        case L'S': {
            bool narrow = type == L's' ? conversion.narrow : !conversion.wide;
            if (narrow) {
                PutString(&out, conversion, va_arg(ap, const char*), "(null)");
            } else {
                PutString(&out, conversion, va_arg(ap, const WCHAR*), L"(null)");
            }
            break;
        }
        case L'd':
        case L'i':
            if (conversion.wide64) {
                PutSigned(&out, conversion, va_arg(ap, long long));
            } else {
                PutSigned(&out, conversion, va_arg(ap, int));
            }
            break;
        case L'u':
        case L'x':
        case L'X': {
            uint64_t value = conversion.wide64 ? static_cast<uint64_t>(va_arg(ap, unsigned long long))
                                               : static_cast<uint64_t>(va_arg(ap, unsigned int));
            PutInteger(&out, conversion, value, false, type == L'u' ? 10 : 16, type == L'X');
            break;
        }
        default:
            // Not a conversion this formatter knows: the character stands as text.
            out.Put(type);
            break;
        }
    }
    va_end(ap);
    destination[out.length] = 0;
    *truncated = out.truncated;
    return out.length;
}

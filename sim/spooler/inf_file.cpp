#include "sim/spooler/inf_file.h"

#include <mutex>

#include "sim/kernel/codepage.h"
#include "sim/kernel/wide.h"

namespace sim {

namespace {

using Strings = std::map<std::wstring, std::wstring>; // by folded key

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\v' || c == L'\f';
}

std::wstring Trim(const std::wstring& text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsBlank(text[end - 1])) {
        --end;
    }
    return text.substr(begin, end - begin);
}

std::wstring Decode(const std::string& bytes)
{
    std::wstring text;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
            text += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8));
        }
        return text;
    }
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        return Widen(bytes.substr(3));
    }
    for (char c : bytes) {
        text += DecodeAnsi(static_cast<unsigned char>(c));
    }
    return text;
}

// %token% from [Strings]; %% is a percent sign; an unknown token stays as written.
std::wstring Substitute(const std::wstring& text, const Strings& strings)
{
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != L'%') {
            out += text[i];
            continue;
        }
        size_t close = text.find(L'%', i + 1);
        if (close == std::wstring::npos) {
            out += text.substr(i);
            break;
        }
        if (close == i + 1) {
            out += L'%';
        } else {
            auto found = strings.find(FoldCase(text.substr(i + 1, close - i - 1)));
            out += found != strings.end() ? found->second : text.substr(i, close - i + 1);
        }
        i = close;
    }
    return out;
}

struct Segment {
    std::wstring text;
    bool quoted;
};

// A field's text: blanks around it dropped, quoted parts taken as written.
std::wstring FinishField(std::vector<Segment>* segments, const Strings& strings)
{
    std::vector<Segment>& parts = *segments;
    if (!parts.empty() && !parts.front().quoted) {
        parts.front().text = Trim(parts.front().text);
    }
    if (!parts.empty() && !parts.back().quoted) {
        parts.back().text = Trim(parts.back().text);
    }
    std::wstring out;
    for (const Segment& part : parts) {
        out += part.quoted ? part.text : Substitute(part.text, strings);
    }
    parts.clear();
    return out;
}

// One logical line; false when it holds nothing but blanks and a comment.
bool ParseLine(const std::wstring& line, const Strings& strings, InfFile::Line* out)
{
    std::vector<Segment> segments;
    bool content = false;
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        wchar_t c = line[i];
        if (inQuotes) {
            if (c == L'%' && i + 1 < line.size() && line[i + 1] == L'%') {
                segments.back().text += L'%'; // the escape holds in quotes too; tokens do not
                ++i;
            } else if (c != L'"') {
                segments.back().text += c;
            } else if (i + 1 < line.size() && line[i + 1] == L'"') {
                segments.back().text += L'"';
                ++i;
            } else {
                inQuotes = false;
            }
            continue;
        }
        if (c == L';') {
            break;
        }
        if (c == L'"') {
            inQuotes = true;
            content = true;
            segments.push_back({std::wstring(), true});
        } else if (c == L'=' && !out->key && out->fields.empty()) {
            out->key = FinishField(&segments, strings);
            content = true;
        } else if (c == L',') {
            out->fields.push_back(FinishField(&segments, strings));
            content = true;
        } else {
            if (segments.empty() || segments.back().quoted) {
                segments.push_back({std::wstring(), false});
            }
            segments.back().text += c;
            content = content || !IsBlank(c);
        }
    }
    if (!content) {
        return false;
    }
    out->fields.push_back(FinishField(&segments, strings));
    return true;
}

// Where a line's comment starts (a semicolon outside quotes), or its end.
size_t CommentStart(const std::wstring& line)
{
    bool inQuotes = false;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == L'"') {
            inQuotes = !inQuotes;
        } else if (line[i] == L';' && !inQuotes) {
            return i;
        }
    }
    return line.size();
}

// Physical lines joined where one ends in a backslash (before any comment).
std::vector<std::wstring> LogicalLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    std::wstring pending;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) {
            end = text.size();
        }
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r') {
            line.pop_back();
        }
        std::wstring code = Trim(line.substr(0, CommentStart(line)));
        if (!code.empty() && code.back() == L'\\') {
            pending += code.substr(0, code.size() - 1);
        } else {
            lines.push_back(pending + line);
            pending.clear();
        }
        start = end + 1;
    }
    if (!pending.empty()) {
        lines.push_back(pending);
    }
    return lines;
}

std::map<std::wstring, std::vector<InfFile::Line>> ParseSections(const std::vector<std::wstring>& lines,
                                                                 const Strings& strings)
{
    std::map<std::wstring, std::vector<InfFile::Line>> sections;
    std::vector<InfFile::Line>* current = nullptr;
    for (const std::wstring& raw : lines) {
        std::wstring line = Trim(raw);
        if (!line.empty() && line[0] == L'[') {
            size_t close = line.find(L']');
            std::wstring name = Trim(line.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
            current = &sections[FoldCase(name)];
            continue;
        }
        InfFile::Line parsed;
        if (current != nullptr && ParseLine(line, strings, &parsed)) {
            current->push_back(std::move(parsed));
        }
    }
    return sections;
}

bool ParseNumber(const std::wstring& text, unsigned long limit, unsigned long* value)
{
    if (text.empty() || text.size() > 5) {
        return false;
    }
    unsigned long number = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            return false;
        }
        number = number * 10 + static_cast<unsigned long>(c - L'0');
    }
    *value = number;
    return number <= limit;
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator)
{
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(separator, start);
        parts.push_back(Trim(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start)));
        if (end == std::wstring::npos) {
            return parts;
        }
        start = end + 1;
    }
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

std::shared_ptr<const InfFile> InfFile::ParseCached(const std::string& bytes)
{
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const InfFile>> cache;
    std::lock_guard<std::mutex> guard(mutex);
    auto found = cache.find(bytes);
    if (found == cache.end()) {
        if (cache.size() == 256) {
            cache.clear(); // a story reads a handful of packages; a benchmark up to a hundred
        }
        found = cache.emplace(bytes, std::make_shared<const InfFile>(Parse(bytes))).first;
    }
    return found->second;
}

InfFile InfFile::Parse(const std::string& bytes)
{
    const std::vector<std::wstring> lines = LogicalLines(Decode(bytes));
    // [Strings] first, so tokens anywhere (also before it) can be replaced.
    Strings strings;
    const auto unsubstituted = ParseSections(lines, Strings());
    auto table = unsubstituted.find(L"STRINGS");
    for (const auto& line : table != unsubstituted.end() ? table->second : std::vector<Line>()) {
        if (line.key && !line.fields.empty()) {
            strings[FoldCase(*line.key)] = line.fields[0];
        }
    }
    InfFile inf;
    inf.sections_ = ParseSections(lines, strings);
    return inf;
}

bool InfFile::HasSection(const std::wstring& name) const
{
    return sections_.count(FoldCase(name)) != 0;
}

const std::vector<InfFile::Line>& InfFile::Section(const std::wstring& name) const
{
    static const std::vector<Line> kNone;
    auto found = sections_.find(FoldCase(name));
    return found == sections_.end() ? kNone : found->second;
}

std::optional<std::vector<std::wstring>> InfFile::Fields(const std::wstring& section, const std::wstring& key) const
{
    for (const Line& line : Section(section)) {
        if (line.key && EqualsNoCase(*line.key, key)) {
            return line.fields;
        }
    }
    return std::nullopt;
}

std::optional<std::wstring> InfFile::Value(const std::wstring& section, const std::wstring& key) const
{
    std::optional<std::vector<std::wstring>> fields = Fields(section, key);
    if (!fields) {
        return std::nullopt;
    }
    std::wstring value;
    for (size_t i = 0; i < fields->size(); ++i) {
        value += (i == 0 ? L"" : L",") + (*fields)[i];
    }
    return value;
}

bool InfFile::HasDriverSignature() const
{
    std::optional<std::wstring> signature = Value(L"Version", L"Signature");
    return signature && (EqualsNoCase(*signature, L"$Windows NT$") || EqualsNoCase(*signature, L"$Chicago$"));
}

std::vector<InfFile::Model> InfFile::Models(const std::wstring& platform) const
{
    std::vector<Model> models;
    for (const Line& maker : Section(L"Manufacturer")) {
        if (maker.fields.empty() || maker.fields[0].empty()) {
            continue;
        }
        const std::wstring& base = maker.fields[0];
        // The longest decoration that names this platform (NTamd64, NTamd64.10.0 ...).
        std::wstring best;
        for (size_t i = 1; i < maker.fields.size(); ++i) {
            const std::wstring decoration = FoldCase(maker.fields[i]);
            const std::wstring wanted = FoldCase(platform);
            if ((decoration == wanted || decoration.compare(0, wanted.size() + 1, wanted + L".") == 0) &&
                decoration.size() > best.size()) {
                best = maker.fields[i];
            }
        }
        std::wstring section;
        if (!best.empty()) {
            section = base + L"." + best;
        } else if (EqualsNoCase(platform, L"NTx86")) {
            section = base;
        } else {
            continue;
        }
        for (const Line& line : Section(section)) {
            if (!line.key || line.fields.empty()) {
                continue;
            }
            Model model;
            model.manufacturer = maker.key.value_or(base);
            model.displayName = *line.key;
            model.installSection = line.fields[0];
            model.ids.assign(line.fields.begin() + 1, line.fields.end());
            models.push_back(std::move(model));
        }
    }
    return models;
}

std::optional<InfFile::Model> InfFile::FindModel(const std::wstring& platform, const std::wstring& id) const
{
    for (const Model& model : Models(platform)) {
        for (const std::wstring& listed : model.ids) {
            if (EqualsNoCase(listed, id)) {
                return model;
            }
        }
    }
    return std::nullopt;
}

std::wstring InfFile::InstallSection(const std::wstring& base, const std::wstring& platform) const
{
    for (const std::wstring& candidate : {base + L"." + platform, base + L".NT"}) {
        if (HasSection(candidate)) {
            return candidate;
        }
    }
    return base;
}

std::optional<std::wstring> InfFile::SourceSubfolder(const std::wstring& file, const std::wstring& architecture) const
{
    std::optional<std::vector<std::wstring>> entry = Fields(L"SourceDisksFiles." + architecture, file);
    if (!entry) {
        entry = Fields(L"SourceDisksFiles", file);
    }
    if (!entry || entry->empty()) {
        return std::nullopt;
    }
    std::optional<std::vector<std::wstring>> disk = Fields(L"SourceDisksNames." + architecture, (*entry)[0]);
    if (!disk) {
        disk = Fields(L"SourceDisksNames", (*entry)[0]);
    }
    if (!disk) {
        return std::nullopt;
    }
    std::wstring folder = disk->size() > 3 ? (*disk)[3] : std::wstring();
    if (entry->size() > 1 && !(*entry)[1].empty()) {
        folder += L"\\" + (*entry)[1];
    }
    size_t begin = folder.find_first_not_of(L"\\/");
    size_t end = folder.find_last_not_of(L"\\/");
    return begin == std::wstring::npos ? std::wstring() : folder.substr(begin, end - begin + 1);
}

bool ParseDriverVer(const std::wstring& text, FILETIME* date, DWORDLONG* version)
{
    std::vector<std::wstring> parts = Split(text, L',');
    if (parts.size() > 2) {
        return false;
    }
    std::vector<std::wstring> dateParts = Split(parts[0], L'/');
    unsigned long month = 0, day = 0, year = 0;
    if (dateParts.size() != 3 || !ParseNumber(dateParts[0], 12, &month) || !ParseNumber(dateParts[1], 31, &day) ||
        !ParseNumber(dateParts[2], 9999, &year) || month == 0 || day == 0 || year < 1601) {
        return false;
    }
    static const unsigned kDaysInMonth[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDaysInMonth[month - 1] || (month == 2 && day == 29 && !leap)) {
        return false;
    }
    DWORDLONG packed = 0;
    if (parts.size() == 2) {
        std::vector<std::wstring> numbers = Split(parts[1], L'.');
        if (numbers.size() > 4) {
            return false;
        }
        for (size_t i = 0; i < 4; ++i) {
            unsigned long number = 0;
            if (i < numbers.size() && !ParseNumber(numbers[i], 0xFFFF, &number)) {
                return false;
            }
            packed = (packed << 16) | number;
        }
    }
    const int64_t kDays1601To1970 = 134774;
    const uint64_t ticks = static_cast<uint64_t>(DaysFromCivil(year, month, day) + kDays1601To1970) * 864000000000ull;
    date->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
    date->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    *version = packed;
    return true;
}

} // namespace sim

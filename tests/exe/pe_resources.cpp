#include "tests/exe/pe_resources.h"

#include <fstream>
#include <iterator>

namespace pe {
namespace {

constexpr std::uint16_t kPe32PlusMagic = 0x20b;
constexpr std::uint32_t kHighBit = 0x80000000u;
constexpr std::size_t kResourceDirectoryIndex = 2;

bool fits(const Bytes& b, std::uint64_t offset, std::uint64_t size)
{
    return offset <= b.size() && size <= b.size() - offset;
}

std::uint16_t get16(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t get32(const Bytes& b, std::size_t at)
{
    return static_cast<std::uint32_t>(get16(b, at)) | (static_cast<std::uint32_t>(get16(b, at + 2)) << 16);
}

std::optional<Image> fail(std::string* error, const std::string& why)
{
    if (error)
        *error = why;
    return std::nullopt;
}

} // namespace

std::optional<Image> Image::parse(Bytes file, std::string* error)
{
    Image image;
    image.file_ = std::move(file);
    const Bytes& b = image.file_;

    if (!fits(b, 0, 0x40) || b[0] != 'M' || b[1] != 'Z')
        return fail(error, "no MZ header");
    const std::uint64_t peAt = get32(b, 0x3c);
    if (!fits(b, peAt, 24) || get32(b, peAt) != 0x00004550u)
        return fail(error, "no PE signature");

    image.machine_ = get16(b, peAt + 4);
    const std::uint16_t sectionCount = get16(b, peAt + 6);
    const std::uint16_t optionalSize = get16(b, peAt + 20);
    const std::uint64_t opt = peAt + 24;
    if (optionalSize < 112 || !fits(b, opt, optionalSize))
        return fail(error, "optional header truncated");
    if (get16(b, opt) != kPe32PlusMagic)
        return fail(error, "not PE32+");
    image.subsystem_ = get16(b, opt + 68);

    const std::uint32_t directoryCount = get32(b, opt + 108);
    if (directoryCount > (optionalSize - 112u) / 8u)
        return fail(error, "data directories overrun the optional header");

    const std::uint64_t sectionTable = opt + optionalSize;
    if (!fits(b, sectionTable, std::uint64_t{sectionCount} * 40))
        return fail(error, "section table truncated");
    for (std::uint16_t i = 0; i < sectionCount; ++i) {
        const std::size_t at = static_cast<std::size_t>(sectionTable + i * 40u);
        Section s;
        for (std::size_t c = 0; c < 8 && b[at + c] != 0; ++c)
            s.name += static_cast<char>(b[at + c]);
        s.virtualSize = get32(b, at + 8);
        s.virtualAddress = get32(b, at + 12);
        s.rawSize = get32(b, at + 16);
        s.rawOffset = get32(b, at + 20);
        if (s.rawSize != 0 && !fits(b, s.rawOffset, s.rawSize))
            return fail(error, "section " + s.name + " lies outside the file");
        image.sections_.push_back(s);
    }

    if (directoryCount > kResourceDirectoryIndex) {
        const std::size_t entry = static_cast<std::size_t>(opt + 112 + 8 * kResourceDirectoryIndex);
        const std::uint32_t rva = get32(b, entry);
        const std::uint32_t size = get32(b, entry + 4);
        if (size != 0) {
            const auto offset = image.rvaToOffset(rva, size);
            if (!offset)
                return fail(error, "resource directory lies outside the sections");
            image.treeOffset_ = *offset;
            image.treeSize_ = size;
        }
    }
    return image;
}

std::optional<std::size_t> Image::rvaToOffset(std::uint32_t rva, std::uint32_t size) const
{
    for (const Section& s : sections_) {
        if (rva < s.virtualAddress)
            continue;
        const std::uint64_t delta = rva - s.virtualAddress;
        if (delta < s.rawSize && size <= s.rawSize - delta)
            return static_cast<std::size_t>(s.rawOffset + delta);
    }
    return std::nullopt;
}

std::vector<Image::Entry> Image::directory(std::uint32_t offset) const
{
    if (offset > treeSize_ || treeSize_ - offset < 16)
        return {};
    const std::size_t at = treeOffset_ + offset;
    const std::size_t count = std::size_t{get16(file_, at + 12)} + get16(file_, at + 14);
    if (count * 8 > treeSize_ - offset - 16)
        return {};
    std::vector<Entry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        entries.push_back({get32(file_, at + 16 + i * 8), get32(file_, at + 20 + i * 8)});
    }
    return entries;
}

std::optional<std::uint32_t> Image::find(std::uint32_t dirOffset, std::uint16_t id) const
{
    for (const Entry& e : directory(dirOffset)) {
        if (e.name == id)
            return e.target;
    }
    return std::nullopt;
}

std::optional<std::uint32_t> Image::subdirectory(std::uint32_t dirOffset, std::uint16_t id) const
{
    const auto target = find(dirOffset, id);
    if (!target || !(*target & kHighBit))
        return std::nullopt;
    return *target & ~kHighBit;
}

std::optional<std::uint32_t> Image::languages(std::uint16_t type, std::uint16_t id) const
{
    const auto names = subdirectory(0, type);
    return names ? subdirectory(*names, id) : std::nullopt;
}

std::vector<std::uint16_t> Image::resourceLanguages(std::uint16_t type, std::uint16_t id) const
{
    std::vector<std::uint16_t> languages;
    if (const auto langs = this->languages(type, id)) {
        for (const Entry& e : directory(*langs)) {
            if (e.name <= 0xffff)
                languages.push_back(static_cast<std::uint16_t>(e.name));
        }
    }
    return languages;
}

std::optional<Bytes> Image::resource(std::uint16_t type, std::uint16_t id, std::uint16_t language) const
{
    const auto langs = languages(type, id);
    const auto leaf = langs ? find(*langs, language) : std::nullopt;
    // A leaf must be a data entry (RVA, size, code page, reserved), not another directory.
    if (!leaf || (*leaf & kHighBit) || *leaf > treeSize_ || treeSize_ - *leaf < 16)
        return std::nullopt;
    const std::size_t at = treeOffset_ + *leaf;
    const std::uint32_t size = get32(file_, at + 4);
    const auto offset = rvaToOffset(get32(file_, at), size);
    if (!offset)
        return std::nullopt;
    return Bytes(file_.begin() + static_cast<std::ptrdiff_t>(*offset),
                 file_.begin() + static_cast<std::ptrdiff_t>(*offset + size));
}

std::optional<Bytes> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Cursor::take(std::size_t n)
{
    if (!ok_ || pos_ > data_.size() || n > data_.size() - pos_) {
        ok_ = false;
        return false;
    }
    return true;
}

std::uint32_t Cursor::read(std::size_t bytes)
{
    std::uint32_t v = 0;
    if (take(bytes)) {
        for (std::size_t i = 0; i < bytes; ++i)
            v |= static_cast<std::uint32_t>(data_[pos_ + i]) << (8 * i);
        pos_ += bytes;
    }
    return v;
}

std::u16string Cursor::sz()
{
    std::u16string s;
    while (ok_) {
        const std::uint16_t c = u16();
        if (c == 0)
            break;
        s += static_cast<char16_t>(c);
    }
    return s;
}

SzOrOrd Cursor::szOrOrd()
{
    SzOrOrd field;
    const std::uint16_t first = u16();
    if (first == 0xffff) {
        field.isOrdinal = true;
        field.ordinal = u16();
    } else if (first != 0) {
        field.text = static_cast<char16_t>(first) + sz();
    }
    return field;
}

void Cursor::skip(std::size_t n)
{
    if (take(n))
        pos_ += n;
}

} // namespace pe

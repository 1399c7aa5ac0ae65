// A small reader for the parts of a 64-bit Windows executable the tests look
// at: the section table and the resource tree. Every read is checked against
// the file size, so a damaged file gives an error message, never a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pe {

using Bytes = std::vector<std::uint8_t>;

// Resource types by their ordinal.
enum ResourceType : std::uint16_t {
    kIcon = 3,
    kDialog = 5,
    kString = 6,
    kGroupIcon = 14,
    kVersion = 16,
    kManifest = 24,
};

struct Section {
    std::string name;
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawOffset = 0;
    std::uint32_t rawSize = 0;
};

class Image {
public:
    // Parses a PE32+ image; returns nothing and sets *error on malformed input.
    static std::optional<Image> parse(Bytes file, std::string* error);

    std::uint16_t machine() const { return machine_; }
    std::uint16_t subsystem() const { return subsystem_; }

    // Resources are only ever named by ordinal here; string names are skipped.
    std::vector<std::uint16_t> resourceLanguages(std::uint16_t type, std::uint16_t id) const;
    // Raw bytes of one resource, or nothing when absent or out of bounds.
    std::optional<Bytes> resource(std::uint16_t type, std::uint16_t id, std::uint16_t language) const;

private:
    struct Entry {
        std::uint32_t name;   // ordinal, or 0x80000000 | string offset
        std::uint32_t target; // 0x80000000 | subdirectory, or data entry offset
    };
    Image() = default;
    std::optional<std::size_t> rvaToOffset(std::uint32_t rva, std::uint32_t size) const;
    // Entries of the resource directory at the given offset within the tree.
    std::vector<Entry> directory(std::uint32_t offset) const;
    std::optional<std::uint32_t> find(std::uint32_t dirOffset, std::uint16_t id) const;
    std::optional<std::uint32_t> subdirectory(std::uint32_t dirOffset, std::uint16_t id) const;
    // The directory of a resource's languages.
    std::optional<std::uint32_t> languages(std::uint16_t type, std::uint16_t id) const;

    Bytes file_;
    std::uint16_t machine_ = 0;
    std::uint16_t subsystem_ = 0;
    std::vector<Section> sections_;
    std::size_t treeOffset_ = 0; // file offset of the resource root
    std::size_t treeSize_ = 0;
};

// Whole file, or nothing when it cannot be read.
std::optional<Bytes> readFile(const std::string& path);

// The "sz_Or_Ord" field of dialog templates: absent, an ordinal or a string.
struct SzOrOrd {
    bool isOrdinal = false;
    std::uint16_t ordinal = 0;
    std::u16string text; // empty for both "absent" and ""
};

// Little-endian reads over a resource's bytes. A read past the end yields
// zero and clears ok(), so a parser can read on and check once at the end.
class Cursor {
public:
    explicit Cursor(const Bytes& data, std::size_t pos = 0) : data_(data), pos_(pos) {}

    std::uint8_t u8() { return static_cast<std::uint8_t>(read(1)); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(read(2)); }
    std::uint32_t u32() { return read(4); }
    std::int16_t s16() { return static_cast<std::int16_t>(u16()); }
    std::u16string sz(); // zero-terminated UTF-16LE
    SzOrOrd szOrOrd();
    void skip(std::size_t n);
    // Aligns to a multiple of n from the start of the resource.
    void align(std::size_t n) { skip((n - pos_ % n) % n); }

    std::size_t pos() const { return pos_; }
    bool ok() const { return ok_; }

private:
    bool take(std::size_t n);
    std::uint32_t read(std::size_t bytes);

    const Bytes& data_;
    std::size_t pos_;
    bool ok_ = true;
};

} // namespace pe

// A reader for the INF files of driver packages: sections of lines, each an
// optional key and comma-separated fields, quotes removed and %tokens%
// replaced from [Strings]. Enough of the format for what device setup and
// the driver store read: [Version], the models of [Manufacturer] for a
// platform, install sections and where the package keeps its files.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim {

class InfFile {
public:
    struct Line {
        std::optional<std::wstring> key;
        std::vector<std::wstring> fields;
    };

    struct Model {
        std::wstring manufacturer; // the [Manufacturer] entry's name
        std::wstring displayName;
        std::wstring installSection;   // as the model line names it, undecorated
        std::vector<std::wstring> ids; // hardware ID, then compatible IDs
    };

    // INF bytes: UTF-16LE or UTF-8 with their byte-order marks, else the ANSI code page.
    static InfFile Parse(const std::string& bytes);
    // The same, from a cache of the last INFs read: a story reads the same
    // package many times, and every fuzz run and sweep story reads it again.
    // Shared, not copied: a copy of its sections costs as much as a parse.
    static std::shared_ptr<const InfFile> ParseCached(const std::string& bytes);

    bool HasSection(const std::wstring& name) const;
    // The lines of a section (names without case), empty when there is none.
    const std::vector<Line>& Section(const std::wstring& name) const;
    // The fields of the first line with that key, if any.
    std::optional<std::vector<std::wstring>> Fields(const std::wstring& section, const std::wstring& key) const;
    // A line's value as setup reports it: its fields joined by commas.
    std::optional<std::wstring> Value(const std::wstring& section, const std::wstring& key) const;

    // A driver package's [Version] names the NT signature ("$Windows NT$", or the older "$Chicago$").
    bool HasDriverSignature() const;

    // The models of every manufacturer for a platform ("NTamd64"), from the
    // models section whose decoration fits it. Outside x86 an undecorated
    // section does not count, as on Windows since x64 came.
    std::vector<Model> Models(const std::wstring& platform) const;
    // The model that lists an ID (without case), if any.
    std::optional<Model> FindModel(const std::wstring& platform, const std::wstring& id) const;
    // The install section for a platform: "X.NTamd64", then "X.NT", then "X".
    std::wstring InstallSection(const std::wstring& base, const std::wstring& platform) const;

    // Where a file of the package lies below the INF's folder ("\amd64"),
    // from [SourceDisksFiles] and [SourceDisksNames] of the architecture
    // ("amd64") or undecorated; nullopt when the INF does not say.
    std::optional<std::wstring> SourceSubfolder(const std::wstring& file, const std::wstring& architecture) const;

private:
    std::map<std::wstring, std::vector<Line>> sections_; // by folded name
};

// DriverVer = mm/dd/yyyy[,w.x.y.z]: the date as a FILETIME (midnight UTC) and
// the version packed in 16-bit parts. False when the text is not of that form.
bool ParseDriverVer(const std::wstring& text, FILETIME* date, DWORDLONG* version);

} // namespace sim

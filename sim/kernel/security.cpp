#include "sim/kernel/security.h"

#include <cwchar>
#include <map>

namespace sim {

const wchar_t kOperatorSid[] = L"S-1-5-21-3623811015-3361044348-30300820-1001";

namespace {

const DWORD kFileGenericRead = 0x120089;
const DWORD kFileGenericWrite = 0x120116;
const DWORD kFileGenericExecute = 0x1200A0;

std::optional<DWORD> ParseRights(const std::wstring& text)
{
    if (text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X')) {
        wchar_t* end = nullptr;
        unsigned long mask = std::wcstoul(text.c_str() + 2, &end, 16);
        return *end == 0 ? std::optional<DWORD>(static_cast<DWORD>(mask)) : std::nullopt;
    }
    static const std::map<std::wstring, DWORD> kRights = {
        {L"FA", FILE_ALL_ACCESS},     {L"GA", FILE_ALL_ACCESS},     {L"FR", kFileGenericRead},
        {L"GR", kFileGenericRead},    {L"FW", kFileGenericWrite},   {L"GW", kFileGenericWrite},
        {L"FX", kFileGenericExecute}, {L"GX", kFileGenericExecute}, {L"SD", DELETE},
    };
    if (text.empty() || text.size() % 2 != 0) {
        return std::nullopt;
    }
    DWORD mask = 0;
    for (size_t i = 0; i < text.size(); i += 2) {
        auto right = kRights.find(text.substr(i, 2));
        if (right == kRights.end()) {
            return std::nullopt;
        }
        mask |= right->second;
    }
    return mask;
}

// "A;OICI;FA;;;SY"
std::optional<Ace> ParseAce(const std::wstring& text)
{
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t semicolon; (semicolon = text.find(L';', start)) != std::wstring::npos; start = semicolon + 1) {
        fields.push_back(text.substr(start, semicolon - start));
    }
    fields.push_back(text.substr(start));
    if (fields.size() != 6 || (fields[0] != L"A" && fields[0] != L"D") || fields[5].empty()) {
        return std::nullopt;
    }
    Ace ace;
    ace.allow = fields[0] == L"A";
    for (size_t i = 0; i < fields[1].size(); i += 2) {
        const std::wstring flag = fields[1].substr(i, 2);
        if (flag == L"OI") {
            ace.objectInherit = true;
        } else if (flag == L"CI") {
            ace.containerInherit = true;
        } else if (flag == L"IO") {
            ace.inheritOnly = true;
        } else {
            return std::nullopt;
        }
    }
    std::optional<DWORD> mask = ParseRights(fields[2]);
    if (!mask) {
        return std::nullopt;
    }
    ace.mask = *mask;
    ace.sid = fields[5];
    return ace;
}

} // namespace

bool Token::Has(const std::wstring& sid) const
{
    return sid == user || sid == L"BU" || sid == L"AU" || sid == L"WD" || (elevated && sid == L"BA");
}

std::optional<SecurityDescriptor> ParseSddl(const std::wstring& sddl)
{
    SecurityDescriptor security;
    size_t at = 0;
    if (sddl.compare(0, 2, L"O:") == 0) {
        size_t end = sddl.find(L"D:");
        if (end == std::wstring::npos || end == 2) {
            return std::nullopt;
        }
        security.owner = sddl.substr(2, end - 2);
        at = end;
    }
    if (sddl.compare(at, 2, L"D:") != 0) {
        return std::nullopt;
    }
    at += 2;
    if (at < sddl.size() && sddl[at] == L'P') {
        security.protectedDacl = true;
        ++at;
    }
    while (at < sddl.size()) {
        size_t close = sddl.find(L')', at);
        if (sddl[at] != L'(' || close == std::wstring::npos) {
            return std::nullopt;
        }
        std::optional<Ace> ace = ParseAce(sddl.substr(at + 1, close - at - 1));
        if (!ace) {
            return std::nullopt;
        }
        security.dacl.push_back(*ace);
        at = close + 1;
    }
    return security;
}

SecurityDescriptor Inherit(const SecurityDescriptor& parent, bool directory, const std::wstring& owner,
                           const SecurityDescriptor* own)
{
    SecurityDescriptor security;
    security.owner = own != nullptr && !own->owner.empty() ? own->owner : owner;
    if (own != nullptr) {
        security.dacl = own->dacl;
        security.protectedDacl = own->protectedDacl;
        if (own->protectedDacl) {
            return security;
        }
    }
    for (const Ace& ace : parent.dacl) {
        if (!(directory ? ace.containerInherit || ace.objectInherit : ace.objectInherit)) {
            continue;
        }
        Ace inherited = ace;
        // A folder passes an OI-only entry on to its files without using it itself.
        inherited.inheritOnly = directory && !ace.containerInherit;
        if (!directory) {
            inherited.objectInherit = inherited.containerInherit = false;
        }
        if (ace.sid == L"CO") {
            // The creator's entry becomes the owner's; the CO entry goes on to what is below.
            Ace ownerEntry = inherited;
            ownerEntry.sid = security.owner;
            ownerEntry.inheritOnly = false;
            ownerEntry.objectInherit = ownerEntry.containerInherit = false;
            if (!(directory && !ace.containerInherit)) {
                security.dacl.push_back(ownerEntry);
            }
            if (directory) {
                inherited.inheritOnly = true;
                security.dacl.push_back(inherited);
            }
            continue;
        }
        security.dacl.push_back(inherited);
    }
    return security;
}

DWORD GrantedAccess(const SecurityDescriptor& security, const Token& token)
{
    // An owner may read and rewrite the access list, nothing more until it has.
    DWORD granted = token.Has(security.owner) ? READ_CONTROL | WRITE_DAC : 0;
    DWORD denied = 0;
    for (const Ace& ace : security.dacl) {
        if (ace.inheritOnly || !token.Has(ace.sid)) {
            continue;
        }
        if (ace.allow) {
            granted |= ace.mask & ~denied;
        } else {
            denied |= ace.mask & ~granted;
        }
    }
    return granted;
}

} // namespace sim

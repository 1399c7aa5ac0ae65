// Who may do what to a file or folder: tokens, access lists as SDDL writes
// them, inheritance from the parent folder, and the access check.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/wintypes.h"

namespace sim {

// Accounts by their SDDL names: "SY" (SYSTEM), "BA" (Administrators), "BU"
// (Users), "AU" (Authenticated Users), "WD" (Everyone), "CO" (the creator
// and owner, in inheritable entries only), or a user's SID.
extern const wchar_t kOperatorSid[];

// A process's token. The administrator's token without elevation carries
// the Administrators group for denying only: it grants nothing.
struct Token {
    std::wstring user = kOperatorSid;
    bool elevated = true;

    bool Has(const std::wstring& sid) const;
    // Who owns what this token creates.
    std::wstring DefaultOwner() const { return elevated ? L"BA" : user; }
};

struct Ace {
    bool allow = true;
    std::wstring sid;
    DWORD mask = 0;
    bool objectInherit = false;    // OI: files below inherit it
    bool containerInherit = false; // CI: folders below inherit it
    bool inheritOnly = false;      // IO: for those below only
};

struct SecurityDescriptor {
    std::wstring owner = L"BA";
    bool protectedDacl = false; // P: takes nothing from the parent
    std::vector<Ace> dacl;
};

// "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)" and the like: owner, protection,
// allow and deny entries with OI/CI/IO and FA/FR/FW/FX/GA/GR/GW/GX/SD or 0x
// rights. Null for text outside that.
std::optional<SecurityDescriptor> ParseSddl(const std::wstring& sddl);

// What a new file or folder below `parent` gets without a descriptor of its
// own, or with an unprotected one: the parent's inheritable entries.
SecurityDescriptor Inherit(const SecurityDescriptor& parent, bool directory, const std::wstring& owner,
                           const SecurityDescriptor* own = nullptr);

// The rights `token` has on an object, as the access list grants them; an
// owner may also read and rewrite the list.
DWORD GrantedAccess(const SecurityDescriptor& security, const Token& token);

} // namespace sim

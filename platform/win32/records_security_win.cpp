// Who may touch the records: the access list the records folder is made with
// and the check of a location before any use. The security calls are looked
// up at run time: the 9x family exports them as stubs or not at all, and the
// program must load there.
#include <windows.h>

#include <cstring>
#include <vector>

#include "base/ascii_case.h"
#include "platform/quarantine_io.h"
#include "platform/win32/named_file_win.h"
#include "platform/win32/scoped_handle_win.h"

namespace platform {
namespace {

struct SecurityCalls {
    BOOL(WINAPI* allocateSid)
    (PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
     PSID*) = nullptr;
    PVOID(WINAPI* freeSid)(PSID) = nullptr;
    BOOL(WINAPI* equalSid)(PSID, PSID) = nullptr;
    DWORD(WINAPI* sidLength)(PSID) = nullptr;
    BOOL(WINAPI* initializeAcl)(PACL, DWORD, DWORD) = nullptr;
    BOOL(WINAPI* addAllowed)(PACL, DWORD, DWORD, PSID) = nullptr;
    BOOL(WINAPI* getAce)(PACL, DWORD, LPVOID*) = nullptr;
    BOOL(WINAPI* initializeSd)(PSECURITY_DESCRIPTOR, DWORD) = nullptr;
    BOOL(WINAPI* setDacl)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL) = nullptr;
    BOOL(WINAPI* setOwner)(PSECURITY_DESCRIPTOR, PSID, BOOL) = nullptr;
    BOOL(WINAPI* getOwner)(PSECURITY_DESCRIPTOR, PSID*, LPBOOL) = nullptr;
    BOOL(WINAPI* getDacl)(PSECURITY_DESCRIPTOR, LPBOOL, PACL*, LPBOOL) = nullptr;
    BOOL(WINAPI* getFileSecurity)
    (LPCSTR, SECURITY_INFORMATION, PSECURITY_DESCRIPTOR, DWORD, LPDWORD) = nullptr;
    BOOL(WINAPI* getTokenInformation)
    (HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD) = nullptr;
    // Windows 2000 and later; NT 4.0 has no inheritance to block.
    BOOL(WINAPI* setControl)
    (PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL, SECURITY_DESCRIPTOR_CONTROL) = nullptr;
    bool ready = false;
};

template <class Call>
bool Find(HMODULE module, const char* name, Call& call) {
    call = reinterpret_cast<Call>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return call != nullptr;
}

const SecurityCalls& Calls() {
    static const SecurityCalls calls = [] {
        SecurityCalls c;
        if (GetVersion() & 0x80000000u) return c;  // the 9x family keeps no rights
        HMODULE advapi = LoadLibraryA("advapi32.dll");
        if (!advapi) return c;
        c.ready = Find(advapi, "AllocateAndInitializeSid", c.allocateSid) &&
                  Find(advapi, "FreeSid", c.freeSid) && Find(advapi, "EqualSid", c.equalSid) &&
                  Find(advapi, "GetLengthSid", c.sidLength) &&
                  Find(advapi, "InitializeAcl", c.initializeAcl) &&
                  Find(advapi, "AddAccessAllowedAce", c.addAllowed) &&
                  Find(advapi, "GetAce", c.getAce) &&
                  Find(advapi, "InitializeSecurityDescriptor", c.initializeSd) &&
                  Find(advapi, "SetSecurityDescriptorDacl", c.setDacl) &&
                  Find(advapi, "SetSecurityDescriptorOwner", c.setOwner) &&
                  Find(advapi, "GetSecurityDescriptorOwner", c.getOwner) &&
                  Find(advapi, "GetSecurityDescriptorDacl", c.getDacl) &&
                  Find(advapi, "GetFileSecurityA", c.getFileSecurity) &&
                  Find(advapi, "GetTokenInformation", c.getTokenInformation);
        Find(advapi, "SetSecurityDescriptorControl", c.setControl);
        return c;
    }();
    return calls;
}

// SYSTEM, Administrators and the account this program runs as.
class TrustedSids {
public:
    TrustedSids() {
        const SecurityCalls& c = Calls();
        SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
        c.allocateSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system_);
        c.allocateSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                      0, &administrators_);
        HANDLE token = nullptr;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            platform::KernelHandle owned(token);
            DWORD size = 0;
            c.getTokenInformation(token, TokenUser, nullptr, 0, &size);
            if (size > 0) {
                user_.resize(size);
                if (!c.getTokenInformation(token, TokenUser, user_.data(), size, &size)) {
                    user_.clear();
                }
            }
        }
    }
    ~TrustedSids() {
        if (system_) Calls().freeSid(system_);
        if (administrators_) Calls().freeSid(administrators_);
    }
    TrustedSids(const TrustedSids&) = delete;
    TrustedSids& operator=(const TrustedSids&) = delete;

    bool Ok() const { return system_ && administrators_; }
    PSID System() const { return system_; }
    PSID Administrators() const { return administrators_; }
    bool Trusted(PSID sid) const {
        const SecurityCalls& c = Calls();
        if (c.equalSid(sid, system_) || c.equalSid(sid, administrators_)) return true;
        if (user_.empty()) return false;
        PSID user = reinterpret_cast<const TOKEN_USER*>(user_.data())->User.Sid;
        return c.equalSid(sid, user) != FALSE;
    }

private:
    PSID system_ = nullptr;
    PSID administrators_ = nullptr;
    std::vector<BYTE> user_;
};

// Rights that change a folder or file or what is in it.
constexpr DWORD kWriteRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                               FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                               WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// A volume without persistent access lists (FAT) has no links either.
bool VolumeKeepsRights(const char* path) {
    char root[4] = {path[0], ':', '\\', '\0'};
    if (path[0] == '\0' || path[1] != ':') return true;
    DWORD flags = 0;
    if (!GetVolumeInformationA(root, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) return true;
    return (flags & FS_PERSISTENT_ACLS) != 0;
}

RecordsCheck CheckRights(const char* path, bool checkOwner, const char** why) {
    const SecurityCalls& c = Calls();
    TrustedSids sids;
    if (!c.ready || !sids.Ok()) {
        *why = "its rights could not be read";
        return RecordsCheck::Unreadable;
    }
    std::vector<BYTE> sd(1024);
    DWORD need = 0;
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    if (!c.getFileSecurity(path, what, sd.data(), static_cast<DWORD>(sd.size()), &need)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || need == 0) {
            *why = "its rights could not be read";
            return RecordsCheck::Unreadable;
        }
        sd.resize(need);
        if (!c.getFileSecurity(path, what, sd.data(), need, &need)) {
            *why = "its rights could not be read";
            return RecordsCheck::Unreadable;
        }
    }
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (checkOwner &&
        (!c.getOwner(sd.data(), &owner, &defaulted) || !owner || !sids.Trusted(owner))) {
        *why = "not owned by SYSTEM or Administrators";
        return RecordsCheck::Unsafe;
    }
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!c.getDacl(sd.data(), &present, &dacl, &defaulted) || !present || !dacl) {
        *why = "no access list: everyone may change it";
        return RecordsCheck::Unsafe;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!c.getAce(dacl, i, &ace)) {
            *why = "its rights could not be read";
            return RecordsCheck::Unreadable;
        }
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            *why = "an access entry of a kind this program does not judge";
            return RecordsCheck::Unsafe;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        // Inherit-only entries count too: they reach every record made in it.
        if ((allowed->Mask & kWriteRights) && !sids.Trusted(sid)) {
            *why = "others may write to it";
            return RecordsCheck::Unsafe;
        }
    }
    return RecordsCheck::Safe;
}

}  // namespace

bool IsTheNamedFile(HANDLE file, const char* path) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info) || info.nNumberOfLinks != 1 ||
        (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) {
        return false;
    }
    // Record paths are full paths of long names.
    return FinalPathIs(file, path);
}

namespace {

using FinalPathFn = DWORD(WINAPI*)(HANDLE, LPSTR, DWORD, DWORD);

FinalPathFn FinalPathCall() {
    static const FinalPathFn call = reinterpret_cast<FinalPathFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA")));
    return call;
}

}  // namespace

bool FinalPathKnown() {
    return FinalPathCall() != nullptr;
}

bool FinalPathIs(HANDLE file, const char* expected) {
    const FinalPathFn finalPath = FinalPathCall();
    // Before Vista there are no links to files but hard ones.
    if (!finalPath) return true;
    char reached[MAX_PATH + 8];
    DWORD n = finalPath(file, reached, sizeof reached, 0);
    if (n == 0 || n >= sizeof reached) return false;
    const char* name = reached;
    if (std::strncmp(name, "\\\\?\\", 4) == 0) name += 4;
    return EqualsIgnoringCase(name, expected);
}

RecordsCheck CheckRecordsLocation(const char* path, bool isFolder, const char** why) {
    static const char* unused;
    if (!why) why = &unused;
    *why = "";
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            return RecordsCheck::Missing;
        }
        *why = "it could not be read";
        return RecordsCheck::Unreadable;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        *why = "a junction, symbolic link or mount point";
        return RecordsCheck::Unsafe;
    }
    if (((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) != isFolder) {
        *why = isFolder ? "not a folder" : "not a file";
        return RecordsCheck::Unsafe;
    }
    if (!isFolder) {
        platform::KernelHandle file(
            CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        (GetVersion() & 0x80000000u) ? 0 : FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!file) {
            *why = "it could not be read";
            return RecordsCheck::Unreadable;
        }
        if (!IsTheNamedFile(file.Get(), path)) {
            *why = "a link to another file";
            return RecordsCheck::Unsafe;
        }
    }
    if ((GetVersion() & 0x80000000u) || !VolumeKeepsRights(path)) return RecordsCheck::Safe;
    // A file's owner is whichever administrator made it (Windows XP gives
    // the creator): in a folder that passed, only administrators make files.
    return CheckRights(path, isFolder, why);
}

bool MakeRecordsFolder(const char* path) {
    const SecurityCalls& c = Calls();
    if (!c.ready) {
        // The 9x family: no rights to give.
        return (GetVersion() & 0x80000000u) && CreateDirectoryA(path, nullptr);
    }
    TrustedSids sids;
    if (!sids.Ok()) return false;
    DWORD aclSize = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) +
                    c.sidLength(sids.System()) + c.sidLength(sids.Administrators());
    std::vector<BYTE> aclBytes(aclSize);
    auto* acl = reinterpret_cast<PACL>(aclBytes.data());
    if (!c.initializeAcl(acl, aclSize, ACL_REVISION) ||
        !c.addAllowed(acl, ACL_REVISION, FILE_ALL_ACCESS, sids.System()) ||
        !c.addAllowed(acl, ACL_REVISION, FILE_ALL_ACCESS, sids.Administrators())) {
        return false;
    }
    // NT 4.0 has no AddAccessAllowedAceEx: the entries' inheritance is set in place.
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        void* ace = nullptr;
        if (!c.getAce(acl, i, &ace)) return false;
        static_cast<ACE_HEADER*>(ace)->AceFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    }
    SECURITY_DESCRIPTOR sd;
    if (!c.initializeSd(&sd, SECURITY_DESCRIPTOR_REVISION) || !c.setDacl(&sd, TRUE, acl, FALSE)) {
        return false;
    }
    if (c.setControl) c.setControl(&sd, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, &sd, FALSE};
    // Owned by Administrators, so that another administrator keeps the
    // records; a token that may not give that owner leaves its own.
    SECURITY_DESCRIPTOR withOwner = sd;
    if (c.setOwner(&withOwner, sids.Administrators(), FALSE)) {
        SECURITY_ATTRIBUTES owned = {sizeof owned, &withOwner, FALSE};
        if (CreateDirectoryA(path, &owned)) return true;
        if (GetLastError() != ERROR_INVALID_OWNER) return false;
    }
    return CreateDirectoryA(path, &attributes) != FALSE;
}

}  // namespace platform

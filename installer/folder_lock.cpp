#include "folder_lock.h"

#include <aclapi.h>
#include <sddl.h>

std::wstring LockedFolderSddl()
{
    // 0x1f01ff: every right of a file or folder; 0x1200a9: read and execute
    // (list, traverse, read data, attributes and permissions).
    return L"O:BAD:PAI(A;OICI;0x1f01ff;;;SY)(A;OICI;0x1f01ff;;;BA)(A;OICI;0x1200a9;;;BU)";
}

bool CaptureSecurity(const std::wstring &path, std::wstring &sddl, DWORD &error)
{
    const SECURITY_INFORMATION parts =
        OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, parts, nullptr, nullptr, nullptr, nullptr,
                                  &descriptor);
    if (error != ERROR_SUCCESS) {
        return false;
    }
    LPWSTR text = nullptr;
    bool converted =
        ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, parts, &text, nullptr);
    error = converted ? ERROR_SUCCESS : GetLastError();
    if (converted) {
        sddl = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return converted;
}

bool ReadRecordedSecurity(const std::wstring &sddl, PSECURITY_DESCRIPTOR &descriptor, SECURITY_INFORMATION &parts)
{
    descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        return false;
    }
    PSID owner = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || owner == nullptr ||
        !GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present ||
        !GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        LocalFree(descriptor);
        descriptor = nullptr;
        return false;
    }
    parts = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
            ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION
                                           : UNPROTECTED_DACL_SECURITY_INFORMATION);
    PSID group = nullptr;
    if (GetSecurityDescriptorGroup(descriptor, &group, &defaulted) && group != nullptr) {
        parts |= GROUP_SECURITY_INFORMATION;
    }
    return true;
}

void EnablePrivilege(const wchar_t *name)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return;
    }
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
    CloseHandle(token);
}

DWORD ApplySecurity(const std::wstring &path, const std::wstring &sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    SECURITY_INFORMATION parts = 0;
    if (!ReadRecordedSecurity(sddl, descriptor, parts)) {
        return ERROR_INVALID_SECURITY_DESCR;
    }
    EnablePrivilege(L"SeRestorePrivilege");
    EnablePrivilege(L"SeTakeOwnershipPrivilege");
    PSID owner = nullptr, group = nullptr;
    PACL dacl = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
    GetSecurityDescriptorGroup(descriptor, &group, &defaulted);
    GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted);
    // SetNamedSecurityInfoW takes a writable path.
    std::wstring target = path;
    DWORD error = SetNamedSecurityInfoW(&target[0], SE_FILE_OBJECT, parts, owner, group, dacl, nullptr);
    LocalFree(descriptor);
    return error;
}

// See account_rights.h. The entries and the virtual account's SID are
// formed by settings/account.cpp; this file only asks the platform.
#include <windows.h>
#include <aclapi.h>
#include <ntsecapi.h>
#include <sddl.h>

#include "settings/program_paths.h"
#include "scm/account_rights.h"
#include "settings/account.h"
#include "settings/service_settings.h"
#include "settings/settings_file.h"

// The virtual account's SID as text. Its name resolves only once the
// service exists, and not at all before Windows 7, so it is formed here.
static int VirtualAccountSidText(char *out, size_t size)
{
    WCHAR name[TEXT_SIZE], upper[TEXT_SIZE];
    int length = MultiByteToWideChar(CP_ACP, 0, gSettings.name, -1, name, TEXT_SIZE) - 1;
    // Upper case as the service control manager forms it, in no user's language.
    if (length <= 0 ||
        LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, name, length, upper, TEXT_SIZE) != length)
        return 0;
    uint16_t units[TEXT_SIZE];
    for (int i = 0; i < length; i++)
        units[i] = (uint16_t)upper[i];
    return FormVirtualAccountSid(out, size, units, (size_t)length);
}

// The account's SID in a block the caller frees with LocalFree; NULL with
// the error set when it is not known.
static PSID AccountSid(AccountKind kind, const char *name)
{
    char text[TEXT_SIZE];
    PSID sid = NULL;
    if (kind == ACCOUNT_USER || kind == ACCOUNT_MANAGED) {
        // ".\user" names an account of this machine, which the lookup
        // knows by its bare name.
        if (name[0] == '.' && name[1] == '\\')
            name += 2;
        DWORD sidSize = 0, domainSize = 0;
        SID_NAME_USE use;
        LookupAccountNameA(NULL, name, NULL, &sidSize, NULL, &domainSize, &use);
        char domain[TEXT_SIZE];
        sid = sidSize > 0 && domainSize <= sizeof domain ? LocalAlloc(LMEM_FIXED, sidSize) : NULL;
        if (sid != NULL &&
            !LookupAccountNameA(NULL, name, sid, &sidSize, domain, &domainSize, &use)) {
            DWORD error = GetLastError();
            LocalFree(sid);
            SetLastError(error);
            return NULL;
        }
        return sid;
    }
    if (kind == ACCOUNT_LOCALSERVICE)
        CopyText(text, sizeof text, "S-1-5-19");
    else if (kind == ACCOUNT_NETWORKSERVICE)
        CopyText(text, sizeof text, "S-1-5-20");
    else if (!VirtualAccountSidText(text, sizeof text))
        return NULL;
    return ConvertStringSidToSidA(text, &sid) ? sid : NULL;
}

static DWORD GrantServiceLogon(PSID sid)
{
    LSA_OBJECT_ATTRIBUTES attributes;
    ZeroMemory(&attributes, sizeof attributes);
    LSA_HANDLE policy;
    NTSTATUS status =
        LsaOpenPolicy(NULL, &attributes, POLICY_LOOKUP_NAMES | POLICY_CREATE_ACCOUNT, &policy);
    if (status != 0)
        return LsaNtStatusToWinError(status);
    WCHAR name[] = L"SeServiceLogonRight";
    LSA_UNICODE_STRING right;
    right.Buffer = name;
    right.Length = (USHORT)(sizeof name - sizeof name[0]);
    right.MaximumLength = (USHORT)sizeof name;
    status = LsaAddAccountRights(policy, sid, &right, 1);
    LsaClose(policy);
    return LsaNtStatusToWinError(status);
}

// Grants or revokes (mode) the right on the folder and what it holds.
static DWORD ChangeFolderAccess(const char *folder, PSID sid, FolderRight right, ACCESS_MODE mode)
{
    // A volume that keeps no access lists needs no entry.
    char root[TEXT_SIZE];
    DWORD flags;
    if (GetVolumePathNameA(folder, root, sizeof root) &&
        GetVolumeInformationA(root, NULL, 0, NULL, NULL, &flags, NULL, 0) &&
        !(flags & FS_PERSISTENT_ACLS))
        return 0;
    PACL old = NULL, changed = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    DWORD error = GetNamedSecurityInfoA(folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, NULL,
                                        NULL, &old, NULL, &descriptor);
    // A log folder that does not exist yet: the start reports it.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
        return 0;
    if (error == 0) {
        EXPLICIT_ACCESSA entry;
        ZeroMemory(&entry, sizeof entry);
        entry.grfAccessPermissions =
            right == RIGHT_MODIFY
                ? FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE
                : FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
        entry.grfAccessMode = mode;
        entry.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
        entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
        entry.Trustee.TrusteeType = TRUSTEE_IS_UNKNOWN;
        entry.Trustee.ptstrName = (LPSTR)sid;
        error = SetEntriesInAclA(1, &entry, old, &changed);
    }
    if (error == 0)
        error = SetNamedSecurityInfoA((LPSTR)folder, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                      NULL, NULL, changed, NULL);
    LocalFree(changed);
    LocalFree(descriptor);
    return error;
}

// Each folder entry of the account, granted or revoked; the first error.
static DWORD ChangeFoldersAccess(AccountKind kind, PSID sid, const char *log, ACCESS_MODE mode)
{
    FolderAccess entries[FOLDER_ACCESS_MOST];
    int count = FormFolderAccess(entries, kind, gPaths.moduleDir, log);
    DWORD error = 0;
    for (int i = 0; error == 0 && i < count; i++)
        error = ChangeFolderAccess(entries[i].folder, sid, entries[i].right, mode);
    return error;
}

DWORD GrantAccountRights(void)
{
    AccountKind kind = AccountKindOf(gSettings.account, gSettings.name);
    if (kind == ACCOUNT_LOCALSYSTEM)
        return 0;
    char name[TEXT_SIZE];
    FormAccountName(name, sizeof name, gSettings.account, gSettings.name);
    PSID sid = AccountSid(kind, name);
    if (sid == NULL)
        return GetLastError() != 0 ? GetLastError() : ERROR_NONE_MAPPED;
    DWORD error = 0;
    if (kind == ACCOUNT_USER || kind == ACCOUNT_MANAGED)
        error = GrantServiceLogon(sid);
    if (error == 0)
        error = ChangeFoldersAccess(kind, sid, gSettings.log, GRANT_ACCESS);
    LocalFree(sid);
    return error;
}

void RevokeVirtualAccountAccess(SC_HANDLE service)
{
    static BYTE buffer[8192];
    QUERY_SERVICE_CONFIGA *config = (QUERY_SERVICE_CONFIGA *)buffer;
    DWORD needed;
    if (!QueryServiceConfigA(service, config, sizeof buffer, &needed) ||
        config->lpServiceStartName == NULL ||
        AccountKindOf(config->lpServiceStartName, gSettings.name) != ACCOUNT_VIRTUAL)
        return;
    // The log the service wrote: the file's, when the request did not name one.
    char log[TEXT_SIZE];
    CopyText(log, sizeof log, gSettings.log);
    if (log[0] == '\0')
        GetPrivateProfileStringA(kSettingsSection, kKeys[K_LOG].key, "", log, sizeof log,
                                 gPaths.settingsPath);
    PSID sid = AccountSid(ACCOUNT_VIRTUAL, config->lpServiceStartName);
    if (sid == NULL)
        return;
    ChangeFoldersAccess(ACCOUNT_VIRTUAL, sid, log, REVOKE_ACCESS);
    LocalFree(sid);
}

// See event_source.h.
#include "scm/event_source.h"
#include "settings/program_paths.h"
#include "settings/service_settings.h"

// EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE
static const DWORD kTypesSupported = 7;

// The source's key under HKEY_LOCAL_MACHINE; 0 when it does not fit.
static int FormSourceKey(char *key, size_t size)
{
    return CopyText(key, size, "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") &&
           AppendText(key, size, gSettings.name);
}

DWORD AddEventSource(void)
{
    char key[TEXT_SIZE + 64];
    if (!FormSourceKey(key, sizeof key))
        return ERROR_FILENAME_EXCED_RANGE;
    HKEY source;
    LONG error =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &source, NULL);
    if (error != ERROR_SUCCESS)
        return (DWORD)error;
    const BYTE *path = (const BYTE *)gPaths.modulePath;
    error = RegSetValueExA(source, "EventMessageFile", 0, REG_EXPAND_SZ, path,
                           (DWORD)lstrlenA(gPaths.modulePath) + 1);
    if (error == ERROR_SUCCESS)
        error = RegSetValueExA(source, "TypesSupported", 0, REG_DWORD,
                               (const BYTE *)&kTypesSupported, sizeof kTypesSupported);
    RegCloseKey(source);
    if (error != ERROR_SUCCESS)
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    return (DWORD)error;
}

void RemoveEventSource(void)
{
    char key[TEXT_SIZE + 64];
    if (FormSourceKey(key, sizeof key))
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
}

// Registers the executable itself as the service named in gSettings.
#include "scm/scm_ops.h"
#include "settings/settings_file.h"
#include "scm/account_rights.h"
#include "scm/event_source.h"
#include "scm/scm_handle.h"
#include "scm/service_path.h"
#include "settings/program_paths.h"
#include "settings/account.h"
#include "settings/service_settings.h"

DWORD CreateWrappedService(void)
{
    // A quoted path of 259 bytes plus its quotes needs two bytes more.
    char binaryPath[TEXT_SIZE + 2];
    FormServiceBinaryPath(binaryPath, sizeof binaryPath, gPaths.modulePath);

    ScmHandle scm(OpenLocalScm());
    if (!scm)
        return GetLastError();
    DWORD type = SERVICE_WIN32_OWN_PROCESS;
    if (gSettings.desktop)
        type |= SERVICE_INTERACTIVE_PROCESS;
    DWORD start = gSettings.auto_ ? SERVICE_AUTO_START : SERVICE_DEMAND_START;
    // Callers refuse an account whose name does not fit; no name runs the
    // service as LocalSystem. The service control manager keeps the
    // password as the system's secret.
    char account[TEXT_SIZE];
    FormAccountName(account, sizeof account, gSettings.account, gSettings.name);
    const char *password = gCredentials.passwordGiven ? gCredentials.password : NULL;
    ScmHandle service(CreateServiceA(scm.get(), gSettings.name, gSettings.name, SERVICE_ALL_ACCESS,
                                     type, start, SERVICE_ERROR_NORMAL, binaryPath, NULL, NULL,
                                     NULL, account[0] != '\0' ? account : NULL, password));
    if (!service)
        return GetLastError();
    SERVICE_DESCRIPTIONA description;
    description.lpDescription = gSettings.description;
    ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &description);
    // At shutdown the system waits this long for the stop (from Windows
    // Vista on; older systems refuse the setting): the bound, the end by
    // force and its wait of 5 s, and room for the rest of the stop.
    // SERVICE_PRESHUTDOWN_INFO, which the headers for Windows XP omit, is
    // this one DWORD.
    DWORD preshutdownMs = ((DWORD)gSettings.stoptime + 10) * 1000;
    ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_PRESHUTDOWN_INFO, &preshutdownMs);
    // A service whose account lacks its rights could not start, and one
    // without its event source would write events nobody can read: the
    // registration goes again.
    DWORD error = GrantAccountRights();
    if (error == 0)
        error = AddEventSource();
    if (error != 0)
        DeleteService(service.get());
    return error;
}

DWORD CreateWithSettings(int prepared)
{
    DWORD error = CreateWrappedService();
    // The password has served its one purpose.
    ZeroText(gCredentials.password, sizeof gCredentials.password);
    if (error != 0) {
        if (prepared)
            DiscardSettings();
        return error;
    }
    if (prepared && !CommitSettings()) {
        // Registered without its settings, the service would run another
        // program, or none: the registration goes again.
        DeleteWrappedService();
        return ERROR_WRITE_FAULT;
    }
    return 0;
}

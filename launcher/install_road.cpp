// The command-line install: validate, confirm, register with the settings
// saved, start.
#include "launcher/command_line.h"
#include "launcher/exit_codes.h"
#include "launcher/messages.h"
#include "launcher/road_messages.h"
#include "launcher/startup.h"
#include "resources/resource.h"
#include "scm/scm_ops.h"
#include "service/child_command.h"
#include "settings/account.h"
#include "settings/option_store.h"
#include "settings/settings_file.h"

int RunInstallRoad(void)
{
    if (gSettings.name[0] == '\0') {
        ReportRoadError(IDS_NAME_MISSING, NULL);
        return EXIT_INVALID;
    }
    if (!HasProgramExtension(gSettings.exe)) {
        ReportRoadError(IDS_PROGRAM_MISSING, NULL);
        return EXIT_INVALID;
    }
    // Settings that would not read back as given are refused rather than
    // saved changed, which would start the program with other options; and,
    // with /ini too, nothing is registered whose command line the launch
    // would refuse, as a service that could never start.
    if ((!gFlags.ini && (!SettingsCanBeStored(&gSettings) || !EnvCanBeStored(&gSettings))) ||
        !SettingsCouldStart(&gSettings, gPaths.moduleDir)) {
        ReportRoadError(IDS_SETTINGS_REFUSED, NULL);
        return EXIT_INVALID;
    }
    // The account's request as given: with /ini, the account is the file's.
    AccountRequest account = {gSettings.account,
                              gSettings.name,
                              gCredentials.accountGiven && !gFlags.ini,
                              gCredentials.cut,
                              gCredentials.passwordGiven,
                              gSettings.desktop};
    AccountRefusal refusal = CheckAccountRequest(&account);
    if (refusal != ACCOUNT_ACCEPTED) {
        ReportRoadError(AccountRefusalMessage(refusal), AccountShownName(gSettings.account));
        return EXIT_INVALID;
    }
    if (gFlags.question &&
        ShowMessage(NULL, IDS_CONFIRM_REGISTER, gSettings.name, kErrorCaption, MB_YESNO) != IDYES)
        return EXIT_NOT_CONFIRMED;
    // The settings change only together with a registration that works: a
    // refused install must not rewrite what a running service will read at
    // its next start. They are prepared beside tavi.ini first, since a
    // service registered without its settings would have nothing to run.
    if (!gFlags.ini && !PrepareSettings()) {
        ReportRoadError(IDS_CREATE_FAILED, NULL);
        return EXIT_SCM_FAILED;
    }
    DWORD error = CreateWithSettings(!gFlags.ini);
    if (error != 0) {
        ReportRoadError(error == ERROR_SERVICE_EXISTS ? IDS_NAME_TAKEN : IDS_CREATE_FAILED, NULL);
        return EXIT_SCM_FAILED;
    }
    if (!gFlags.start) {
        ReportRoadSuccess(IDS_REGISTERED);
        return EXIT_DONE;
    }
    if (StartWrappedService()) {
        ReportRoadSuccess(IDS_REGISTERED_STARTED);
        return EXIT_DONE;
    }
    if (gFlags.no_error)
        return EXIT_DONE;
    ShowMessage(NULL, IDS_START_FAILED, gSettings.name, kCaption, MB_OK);
    return EXIT_START_FAILED;
}

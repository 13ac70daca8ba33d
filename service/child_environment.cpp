// See child_environment.h.
#include "service/child_environment.h"
#include "service/event_log.h"
#include "service/log_file.h"
#include "settings/environment.h"
#include "settings/service_settings.h"

static char sBlock[ENV_BLOCK_SIZE];
static int sFormed; // 1 when sBlock holds the program's environment

DWORD FormChildEnvironment(void)
{
    sFormed = 0;
    if (gSettings.envWhole && gSettings.env[0] == '\0')
        return 0;
    // The values are expanded from tavi's own environment as it is now.
    char *own = GetEnvironmentStringsA();
    int line = 0;
    EnvResult result = ENV_TOO_LONG;
    if (own != NULL && gSettings.envWhole)
        result = FormEnvironment(sBlock, sizeof sBlock, own, gSettings.env, &line);
    if (own != NULL)
        FreeEnvironmentStringsA(own);
    if (result == ENV_FORMED) {
        sFormed = 1;
        return 0;
    }
    if (result == ENV_TOO_LONG)
        LogEvent("launch failed error=%d environment too long", ERROR_BAD_ENVIRONMENT);
    else
        LogEvent("launch failed error=%d environment line=%d is no NAME=value",
                 ERROR_BAD_ENVIRONMENT, line);
    ReportEnvironmentFailed(ERROR_BAD_ENVIRONMENT, result == ENV_TOO_LONG ? 0 : line);
    return ERROR_BAD_ENVIRONMENT;
}

const char *ChildEnvironment(void)
{
    return sFormed ? sBlock : NULL;
}

// The process-wide settings of the one wrapped service.
#include "settings/service_settings.h"

ServiceSettings gSettings;

const char *StopMethodName(int method)
{
    static const char *const kNames[] = {"close", "syscommand", "sysandclose", "ctrlbreak"};
    return kNames[method >= STOP_CLOSE && method <= STOP_CTRLBREAK ? method : STOP_CLOSE];
}

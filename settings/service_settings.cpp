// The process-wide settings of the one wrapped service.
#include "settings/service_settings.h"
#include "settings/log_names.h"

ServiceSettings gSettings;

const NumberKey kNumberKeys[NUMBER_KEY_COUNT] = {
    {"logsize", &ServiceSettings::logsize, 0, LOG_SIZE_MAX, LOG_SIZE_DEFAULT},
    {"logkeep", &ServiceSettings::logkeep, 0, LOG_KEEP_MAX, LOG_KEEP_DEFAULT},
    {"retrymax", &ServiceSettings::retrymax, 0, 3600, 60},
    {"stoptime", &ServiceSettings::stoptime, 1, 3600, 15},
};

int ParseNumberKey(const NumberKey &key, const char *text)
{
    int value = ParseLogNumber(text, key.max);
    return value >= key.min ? value : -1;
}

const char *StopMethodName(int method)
{
    static const char *const kNames[] = {"close", "syscommand", "sysandclose", "ctrlbreak"};
    return kNames[method >= STOP_CLOSE && method <= STOP_CTRLBREAK ? method : STOP_CLOSE];
}

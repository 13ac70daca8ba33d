// The process-wide settings of the one wrapped service.
#include "settings/service_settings.h"
#include "settings/log_names.h"

ServiceSettings gSettings;

typedef ServiceSettings S;
const SettingKey kKeys[KEY_COUNT] = {
    {"exe", KEY_TEXT, &S::exe, NULL, 0, 0, 0},
    {"option", KEY_OPTION, &S::option, NULL, 0, 0, 0},
    {"name", KEY_TEXT, &S::name, NULL, 0, 0, 0},
    {"description", KEY_TEXT, &S::description, NULL, 0, 0, 0},
    {"end", KEY_METHOD, NULL, &S::end, STOP_CLOSE, STOP_CTRLBREAK, STOP_SYSANDCLOSE},
    {"auto", KEY_FLAG, NULL, &S::auto_, 0, 1, 1},
    {"desktop", KEY_FLAG, NULL, &S::desktop, 0, 1, 0},
    {"retry", KEY_FLAG, NULL, &S::retry, 0, 1, 0},
    {"encode", KEY_ENCODE, NULL, NULL, 0, 1, 0},
    {"log", KEY_TEXT, &S::log, NULL, 0, 0, 0},
    {"logsize", KEY_NUMBER, NULL, &S::logsize, 0, LOG_SIZE_MAX, LOG_SIZE_DEFAULT},
    {"logkeep", KEY_NUMBER, NULL, &S::logkeep, 0, LOG_KEEP_MAX, LOG_KEEP_DEFAULT},
    {"retrymax", KEY_NUMBER, NULL, &S::retrymax, 0, 3600, 60},
    {"stoptime", KEY_NUMBER, NULL, &S::stoptime, 1, 3600, 15},
    {"account", KEY_TEXT, &S::account, NULL, 0, 0, 0},
};

int ParseNumberKey(const SettingKey &key, const char *text)
{
    int value = ParseLogNumber(text, key.max);
    return value >= key.min ? value : -1;
}

const char *StopMethodName(int method)
{
    static const char *const kNames[] = {"close", "syscommand", "sysandclose", "ctrlbreak"};
    return kNames[method >= STOP_CLOSE && method <= STOP_CTRLBREAK ? method : STOP_CLOSE];
}

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
    {"noretry", KEY_CODES, &S::noretry, NULL, 0, EXIT_CODES_MOST, 0},
};

int ParseNumberKey(const SettingKey &key, const char *text)
{
    int value = ParseLogNumber(text, key.max);
    return value >= key.min ? value : -1;
}

int ParseExitCodes(const char *text, unsigned long *codes)
{
    int count = 0;
    const char *p = text;
    while (*p != '\0') {
        // One item: digits only, and no more than fit in 32 bits.
        unsigned long long value = 0;
        const char *start = p;
        for (; *p >= '0' && *p <= '9'; p++) {
            value = value * 10 + (unsigned long long)(*p - '0');
            if (value > 4294967295ull)
                return -1;
        }
        if (p == start || count == EXIT_CODES_MOST || (*p != ',' && *p != '\0'))
            return -1;
        if (codes != NULL)
            codes[count] = (unsigned long)value;
        count++;
        // A comma must be followed by another item.
        if (*p == ',' && *++p == '\0')
            return -1;
    }
    return count;
}

int ExitCodeListed(const char *list, unsigned long code)
{
    unsigned long codes[EXIT_CODES_MOST];
    int count = ParseExitCodes(list, codes);
    for (int i = 0; i < count; i++)
        if (codes[i] == code)
            return 1;
    return 0;
}

const char *StopMethodName(int method)
{
    static const char *const kNames[] = {"close", "syscommand", "sysandclose", "ctrlbreak"};
    return kNames[method >= STOP_CLOSE && method <= STOP_CTRLBREAK ? method : STOP_CLOSE];
}

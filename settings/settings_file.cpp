// tavi.ini beside the executable: the section [tavi] and the program's
// variables in [env], read with the
// platform's private-profile functions (save_settings.cpp writes it).
#include <windows.h>

#include "launcher/startup.h"
#include "settings/option_store.h"
#include "settings/service_settings.h"
#include "settings/settings_file.h"

const char kSettingsSection[] = "tavi";
const char kEnvSection[] = "env";

static void ReadText(const char *key, char *out, DWORD size)
{
    GetPrivateProfileStringA(kSettingsSection, key, "", out, size, gPaths.settingsPath);
}

static int ReadInt(const char *key, int fallback)
{
    return (int)GetPrivateProfileIntA(kSettingsSection, key, fallback, gPaths.settingsPath);
}

// A value that is no number in range, as a hand-edited file may hold,
// counts as absent.
static int ReadNumber(const NumberKey &key)
{
    char text[TEXT_SIZE];
    ReadText(key.key, text, sizeof text);
    int value = ParseNumberKey(key, text);
    return value >= 0 ? value : key.fallback;
}

void LoadSettings(void)
{
    // The reader counts the enclosing quotes against the buffer, so the
    // stored option gets the room of its quoted form; the decoded text is
    // bounded by the field again.
    char stored[STORED_OPTION_SIZE];
    ReadText("exe", gSettings.exe, TEXT_SIZE);
    ReadText("option", stored, sizeof stored);
    DecodeStoredOption(gSettings.option, TEXT_SIZE, stored, ReadInt("encode", 0));
    ReadText("name", gSettings.name, TEXT_SIZE);
    ReadText("description", gSettings.description, TEXT_SIZE);
    gSettings.end = ReadInt("end", 2);
    gSettings.auto_ = ReadInt("auto", 1);
    gSettings.desktop = ReadInt("desktop", 0);
    gSettings.retry = ReadInt("retry", 0);
    ReadText("log", gSettings.log, TEXT_SIZE);
    for (const NumberKey &key : kNumberKeys)
        gSettings.*key.field = ReadNumber(key);
    // The reader fills the buffer up to two bytes short of its end when
    // the section does not fit: that section is not taken in part.
    gSettings.env[0] = gSettings.env[1] = '\0';
    DWORD length = GetPrivateProfileSectionA(kEnvSection, gSettings.env, ENV_SECTION_SIZE,
                                             gPaths.settingsPath);
    gSettings.envWhole = length < ENV_SECTION_SIZE - 2;
}

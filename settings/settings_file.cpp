// tavi.ini beside the executable: the section [tavi] and the program's
// variables in [env], read with the platform's private-profile functions
// (save_settings.cpp writes it).
#include <windows.h>

#include "settings/program_paths.h"
#include "settings/environment.h"
#include "settings/option_store.h"
#include "settings/service_settings.h"
#include "settings/settings_file.h"

ProgramPaths gPaths;
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
static int ReadNumber(const SettingKey &key)
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
    for (const SettingKey &key : kKeys) {
        switch (key.kind) {
        case KEY_TEXT: ReadText(key.key, gSettings.*key.text, TEXT_SIZE); break;
        case KEY_OPTION:
            ReadText(key.key, stored, sizeof stored);
            DecodeStoredOption(gSettings.*key.text, TEXT_SIZE, stored,
                               ReadInt(kKeys[K_ENCODE].key, kKeys[K_ENCODE].fallback));
            break;
        // Read as the platform reads numbers: a stored end outside 0-3 shows
        // no method in the window.
        case KEY_FLAG:
        case KEY_METHOD: gSettings.*key.number = ReadInt(key.key, key.fallback); break;
        case KEY_NUMBER: gSettings.*key.number = ReadNumber(key); break;
        // A list that cannot be read, as a hand-edited file may hold, holds no code.
        case KEY_CODES:
            ReadText(key.key, gSettings.*key.text, TEXT_SIZE);
            if (ParseExitCodes(gSettings.*key.text, NULL) < 0)
                (gSettings.*key.text)[0] = '\0';
            break;
        case KEY_ENCODE: break;
        }
    }
    // The reader fills the buffer up to two bytes short of its end when
    // the section does not fit: that section is not taken in part.
    gSettings.env[0] = gSettings.env[1] = '\0';
    DWORD length = GetPrivateProfileSectionA(kEnvSection, gSettings.env, ENV_SECTION_SIZE,
                                             gPaths.settingsPath);
    gSettings.envWhole = length < ENV_SECTION_SIZE - 2;
    TrimEnvLines(gSettings.env);
}

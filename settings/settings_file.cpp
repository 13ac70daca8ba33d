// tavi.ini beside the executable: one section [tavi], read and written with
// the platform's private-profile functions.
#include <windows.h>

#include "launcher/startup.h"
#include "settings/option_store.h"
#include "settings/service_settings.h"
#include "settings/settings_file.h"

static const char kSection[] = "tavi";

static void ReadText(const char *key, char *out, DWORD size)
{
    GetPrivateProfileStringA(kSection, key, "", out, size, gPaths.settingsPath);
}

static int ReadInt(const char *key, int fallback)
{
    return (int)GetPrivateProfileIntA(kSection, key, fallback, gPaths.settingsPath);
}

static int WriteText(const char *key, const char *value)
{
    return WritePrivateProfileStringA(kSection, key, value, gPaths.settingsPath) != 0;
}

static int WriteIntSetting(const char *section, const char *key, int value, const char *path)
{
    char text[100];
    wsprintfA(text, "%d", value);
    return WritePrivateProfileStringA(section, key, text, path) != 0;
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
}

int SaveSettings(void)
{
    // Callers refuse an option that does not fit before they get here; an
    // option that still does not is stored empty rather than cut.
    char stored[STORED_OPTION_SIZE];
    FormatStoredOption(stored, gSettings.option);
    const char *path = gPaths.settingsPath;
    int ok = WriteText("exe", gSettings.exe);
    ok &= WriteText("option", stored);
    ok &= WriteText("name", gSettings.name);
    ok &= WriteText("description", gSettings.description);
    ok &= WriteIntSetting(kSection, "end", gSettings.end, path);
    ok &= WriteIntSetting(kSection, "auto", gSettings.auto_, path);
    ok &= WriteIntSetting(kSection, "desktop", gSettings.desktop, path);
    ok &= WriteIntSetting(kSection, "retry", gSettings.retry, path);
    ok &= WriteIntSetting(kSection, "encode", 1, path);
    return ok;
}

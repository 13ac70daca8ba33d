// Writes gSettings to tavi.ini so that a failure leaves the file as it was:
// the keys go into a copy beside it, "tavi.tmp", which replaces tavi.ini
// only when every key is in it and the caller's registration has worked;
// otherwise the copy is deleted. The copy keeps the file's other sections
// and lines. Its name is as long as "tavi.ini", so its path fits whenever
// the settings path does.
#include <windows.h>
#include <string.h>

#include "settings/program_paths.h"
#include "settings/option_store.h"
#include "settings/service_settings.h"
#include "settings/settings_file.h"

// A key, its value, and what the reader must give back from the file:
// NULL for a text that it may give back without its blanks and quotes.
struct StoredKey {
    const char *key;
    const char *value;
    const char *readBack;
};

// What a missing key reads as: no value can hold a line break.
static const char kMissing[] = "\n.";

// The copy of tavi.ini to write into; an empty one when there is none yet.
static int StartCopy(const char *copy)
{
    if (CopyFileA(gPaths.settingsPath, copy, FALSE))
        return 1;
    if (GetLastError() != ERROR_FILE_NOT_FOUND)
        return 0;
    HANDLE file =
        CreateFileA(copy, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    CloseHandle(file);
    return 1;
}

// Stops at the first write that fails.
static int WriteKeys(const StoredKey *keys, int count, const char *path)
{
    for (int i = 0; i < count; i++)
        if (!WritePrivateProfileStringA(kSettingsSection, keys[i].key, keys[i].value, path))
            return 0;
    return 1;
}

// Wine reports a write as done even when writing the file failed (a full
// disk, a size limit), and leaves the file cut: each key must read back
// from the file itself, the option and the numbers exactly as written.
static int KeysReachedFile(const StoredKey *keys, int count, const char *path)
{
    // All three NULL: a cached copy of the file is flushed and dropped, so
    // that what follows reads the file.
    WritePrivateProfileStringA(NULL, NULL, NULL, path);
    for (int i = 0; i < count; i++) {
        char read[STORED_OPTION_SIZE];
        GetPrivateProfileStringA(kSettingsSection, keys[i].key, kMissing, read, sizeof read, path);
        if (keys[i].readBack ? strcmp(read, keys[i].readBack) != 0 : strcmp(read, kMissing) == 0)
            return 0;
    }
    return 1;
}

// Replaces the [env] section with the settings' lines (none: no section),
// and checks that it reads back byte for byte.
static int WriteEnvSection(const char *path)
{
    static char read[ENV_SECTION_SIZE];
    size_t length = EnvListLength(gSettings.env);
    // Deleting a section the file lacks may count as a failure: the read
    // back tells.
    WritePrivateProfileStringA(kEnvSection, NULL, NULL, path);
    if (length > 1 && !WritePrivateProfileSectionA(kEnvSection, gSettings.env, path))
        return 0;
    WritePrivateProfileStringA(NULL, NULL, NULL, path);
    read[0] = read[1] = '\0';
    GetPrivateProfileSectionA(kEnvSection, read, sizeof read, path);
    return EnvListLength(read) == length && memcmp(read, gSettings.env, length) == 0;
}

// The copy's path: "tavi.tmp" beside tavi.ini.
static int FormCopyPath(char *copy)
{
    CopyText(copy, TEXT_SIZE, gPaths.moduleDir);
    return AppendText(copy, TEXT_SIZE, "\\tavi.tmp");
}

int PrepareSettings(void)
{
    // Callers refuse an option that does not fit before they get here; an
    // option that still does not is stored empty rather than cut.
    char stored[STORED_OPTION_SIZE], escaped[TEXT_SIZE];
    FormatStoredOption(stored, gSettings.option);
    EscapeValue(escaped, sizeof escaped, gSettings.option);
    // Each number's text, the option's forms: a key that the reader must
    // give back exactly reads back as its value.
    char numbers[KEY_COUNT][12];
    StoredKey keys[KEY_COUNT];
    for (int i = 0; i < KEY_COUNT; i++) {
        const SettingKey &key = kKeys[i];
        if (key.kind == KEY_TEXT || key.kind == KEY_CODES) {
            keys[i] = {key.key, gSettings.*key.text, NULL};
        } else if (key.kind == KEY_OPTION) {
            keys[i] = {key.key, stored, escaped};
        } else {
            wsprintfA(numbers[i], "%d", key.kind == KEY_ENCODE ? 1 : gSettings.*key.number);
            keys[i] = {key.key, numbers[i], numbers[i]};
        }
    }
    char copy[TEXT_SIZE];
    if (!FormCopyPath(copy) || !StartCopy(copy))
        return 0;
    if (WriteKeys(keys, KEY_COUNT, copy) && KeysReachedFile(keys, KEY_COUNT, copy) &&
        WriteEnvSection(copy))
        return 1;
    DeleteFileA(copy);
    return 0;
}

int CommitSettings(void)
{
    char copy[TEXT_SIZE];
    if (FormCopyPath(copy) && MoveFileExA(copy, gPaths.settingsPath, MOVEFILE_REPLACE_EXISTING))
        return 1;
    DiscardSettings();
    return 0;
}

void DiscardSettings(void)
{
    char copy[TEXT_SIZE];
    if (FormCopyPath(copy))
        DeleteFileA(copy);
}

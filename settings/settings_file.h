// Moves gSettings to and from tavi.ini beside the executable, section [tavi].
#ifndef TAVI_SETTINGS_SETTINGS_FILE_H
#define TAVI_SETTINGS_SETTINGS_FILE_H

extern const char kSettingsSection[]; // "tavi"
extern const char kEnvSection[];      // "env"

// Fills every field of gSettings; absent values take their defaults.
void LoadSettings(void);
// Saving is two steps, so that the settings change only together with a
// registration that works. PrepareSettings writes every key of kKeys
// (encode=1 among them) and the [env] section into a copy of tavi.ini that
// keeps the rest of the file; it returns 1 when every key reached the copy,
// 0 when one did not (a read-only file or folder, a full disk), and then
// nothing is left behind.
int PrepareSettings(void);
// Puts the prepared copy in tavi.ini's place; 1 on success. On failure the
// copy is deleted and tavi.ini is left as it was.
int CommitSettings(void);
// Deletes the prepared copy; tavi.ini is left as it was.
void DiscardSettings(void);

#endif

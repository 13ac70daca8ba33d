// Moves gSettings to and from tavi.ini beside the executable, section [tavi].
#ifndef TAVI_SETTINGS_SETTINGS_FILE_H
#define TAVI_SETTINGS_SETTINGS_FILE_H

extern const char kSettingsSection[]; // "tavi"

// Fills all eight fields of gSettings; absent values take their defaults.
void LoadSettings(void);
// Writes all eight fields and encode=1, keeping the rest of the file.
// Returns 1 when every key was written, 0 when one was not (a read-only
// file or folder, a full disk); the file is then left as it was.
int SaveSettings(void);

#endif

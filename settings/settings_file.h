// Moves gSettings to and from tavi.ini beside the executable, section [tavi].
#ifndef TAVI_SETTINGS_SETTINGS_FILE_H
#define TAVI_SETTINGS_SETTINGS_FILE_H

// Fills all eight fields of gSettings; absent values take their defaults.
void LoadSettings(void);
// Writes all eight fields and encode=1. Returns 1 when every write
// succeeded, 0 when one failed (a read-only file or folder).
int SaveSettings(void);

#endif

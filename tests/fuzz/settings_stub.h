// Stands in for the settings file in the fuzz targets that link the
// command-line parser: LoadSettings only counts its calls.
#ifndef TAVI_TESTS_FUZZ_SETTINGS_STUB_H
#define TAVI_TESTS_FUZZ_SETTINGS_STUB_H

extern int gLoadSettingsCalls;

#endif

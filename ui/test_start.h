// The test start of the configuration window.
#ifndef TAVI_UI_TEST_START_H
#define TAVI_UI_TEST_START_H

#include <windows.h>

// Launches exe with option as the service would, shows the test notice, then
// asks the program to end by method and waits a while for it to end. A
// command line that the launch would refuse is refused with message 28.
void TestStart(HWND dialog, const char *exe, const char *option, int method);

#endif

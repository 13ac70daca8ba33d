// Resource and control identifiers shared by tavi.rc and the code.
#ifndef TAVI_RESOURCES_RESOURCE_H
#define TAVI_RESOURCES_RESOURCE_H

#define IDD_CONFIG 101
#define IDI_TAVI 102

// Controls of the configuration window.
#define IDC_EXE 1000
#define IDC_BROWSE 1001
#define IDC_OPTION 1002
#define IDC_END 1003
#define IDC_TEST_OR_DELETE 1004
#define IDC_NAME 1005
#define IDC_AUTO 1010
#define IDC_DESKTOP 1011
#define IDC_DESCRIPTION 1012
#define IDC_RETRY 1013

// The message catalogue. The numbers are fixed; 8 is not used.
#define IDS_NAME_MISSING 1
#define IDS_PROGRAM_MISSING 2
#define IDS_START_FAILED 3
#define IDS_CREATE_FAILED 4
#define IDS_DELETE_FAILED 5
#define IDS_NOT_REGISTERED 6
#define IDS_NOT_NT 7
#define IDS_CANNOT_STOP 9
#define IDS_PROGRAM_FILES_ONLY 10
#define IDS_NAME_TAKEN 11
#define IDS_TEST_NOTICE 12
#define IDS_CONFIRM_REGISTER 13
#define IDS_REGISTERED_START 14
#define IDS_CONFIRM_DELETE 15
#define IDS_REGISTERED_STARTED 16
#define IDS_REGISTERED 17
#define IDS_DELETED 18
#define IDS_METHOD_CLOSE 19
#define IDS_METHOD_SYSCOMMAND 20
#define IDS_METHOD_SYSANDCLOSE 21
#define IDS_METHOD_CTRLBREAK 22
#define IDS_DELETE_CAPTION 23
#define IDS_TEST_CAPTION 24
#define IDS_FILTER_NAME 25
#define IDS_FILTER_PATTERN 26
#define IDS_BROWSE_TITLE 27
// Added entries for requests that cannot be carried out whole: settings that
// cannot be stored or started, and tavi.exe's own path too long.
#define IDS_SETTINGS_REFUSED 28
#define IDS_PATH_TOO_LONG 29
// The account: a request refused, and a user account in the window, which
// has no password field.
#define IDS_ACCOUNT_INVALID 30
#define IDS_ACCOUNT_NEEDS_PASSWORD 31
#define IDS_ACCOUNT_NO_PASSWORD 32
#define IDS_ACCOUNT_NO_DESKTOP 33
#define IDS_ACCOUNT_BY_COMMAND_LINE 34

#endif

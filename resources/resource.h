// Resource and control identifiers shared by tavi.rc and the code.
#ifndef TAVI_RESOURCES_RESOURCE_H
#define TAVI_RESOURCES_RESOURCE_H

#define IDD_CONFIG 101
#define IDI_TAVI 102
#define IDD_FURTHER 103

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
#define IDC_FURTHER 1014

// Controls of the further settings: each field, and the label that names
// it in messages.
#define IDC_LOG 1100
#define IDC_LOG_BROWSE 1101
#define IDC_LOGSIZE 1102
#define IDC_LOGKEEP 1103
#define IDC_RETRYMAX 1104
#define IDC_NORETRY 1105
#define IDC_STOPTIME 1106
#define IDC_ACCOUNT 1107
#define IDC_ACCOUNT_NAME 1108
#define IDC_PASSWORD 1109
#define IDC_ENV 1110
#define IDC_LOG_LABEL 1120
#define IDC_LOGSIZE_LABEL 1122
#define IDC_LOGKEEP_LABEL 1123
#define IDC_RETRYMAX_LABEL 1124
#define IDC_NORETRY_LABEL 1125
#define IDC_STOPTIME_LABEL 1126
#define IDC_ACCOUNT_NAME_LABEL 1128
#define IDC_PASSWORD_LABEL 1129
#define IDC_ENV_LABEL 1130

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
// The account: a request refused, and a user account's password missing in
// the window.
#define IDS_ACCOUNT_INVALID 30
#define IDS_ACCOUNT_NEEDS_PASSWORD 31
#define IDS_ACCOUNT_NO_PASSWORD 32
#define IDS_ACCOUNT_NO_DESKTOP 33
#define IDS_PASSWORD_MISSING 34
// The further settings: the account list's entries in the order of
// AccountChoice, the refusals of a field (its label and what it takes),
// and the log's file dialog.
#define IDS_ACCOUNT_LOCALSYSTEM 35
#define IDS_ACCOUNT_LOCALSERVICE 36
#define IDS_ACCOUNT_NETWORKSERVICE 37
#define IDS_ACCOUNT_VIRTUAL 38
#define IDS_ACCOUNT_USER 39
#define IDS_NUMBER_REFUSED 40
#define IDS_CODES_REFUSED 41
#define IDS_ENV_LINE_REFUSED 42
#define IDS_ENV_TOO_LONG 43
#define IDS_LOG_REFUSED 44
#define IDS_LOG_FILTER_NAME 45
#define IDS_LOG_FILTER_PATTERN 46
#define IDS_LOG_BROWSE_TITLE 47

#endif

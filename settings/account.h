// The account a service runs under: its kind, the name the service control
// manager is given, the requests refused, the folder rights it needs and
// the virtual account's SID. Pure: no Windows header, so it is built and
// tested natively too; the calls that grant rights are in scm/.
#ifndef TAVI_SETTINGS_ACCOUNT_H
#define TAVI_SETTINGS_ACCOUNT_H

#include <stddef.h>
#include <stdint.h>

enum AccountKind {
    ACCOUNT_LOCALSYSTEM,    // empty or "LocalSystem": the registration names none
    ACCOUNT_LOCALSERVICE,   // NT AUTHORITY\LocalService
    ACCOUNT_NETWORKSERVICE, // NT AUTHORITY\NetworkService
    ACCOUNT_VIRTUAL,        // "virtual": NT SERVICE\<service name>
    ACCOUNT_MANAGED,        // a managed service account, DOMAIN\name$: no password
    ACCOUNT_USER            // any other name: .\user, DOMAIN\user, user@domain
};

// Why a request for an account is refused; ACCOUNT_ACCEPTED when it is not.
enum AccountRefusal {
    ACCOUNT_ACCEPTED,
    ACCOUNT_EMPTY,             // /account= given empty
    ACCOUNT_TOO_LONG,          // the name, or the name registered, over 259 bytes
    ACCOUNT_NEEDS_PASSWORD,    // a user account without /password
    ACCOUNT_TAKES_NO_PASSWORD, // /password with a built-in or virtual account
    ACCOUNT_NO_DESKTOP         // desktop with any account but LocalSystem
};

// What a registration asks for: the account (empty when not set), whether
// /account was given (and was cut for length), whether /password was.
struct AccountRequest {
    const char *account;
    const char *serviceName;
    int accountGiven;
    int accountCut;
    int passwordGiven;
    int desktop;
};

// What a registration has beside the account key: the password (never
// stored; cleared once the registration is done), whether it and /account
// were given on the command line, and whether either was longer than 259
// bytes. The command line fills it, or the window's further settings.
struct Credentials {
    char password[260];
    int passwordGiven;
    int accountGiven;
    int cut;
};

extern Credentials gCredentials;

// The kinds' keywords and prefixes match in any ASCII letter case, as
// account names do; "NT AUTHORITY\..." and "NT SERVICE\<service name>"
// name the same built-in and virtual accounts.
AccountKind AccountKindOf(const char *account, const char *serviceName);
// The name given to the service control manager: empty for LocalSystem.
// 0 (out empty) when it does not fit in size bytes.
int FormAccountName(char *out, size_t size, const char *account, const char *serviceName);
AccountRefusal CheckAccountRequest(const AccountRequest *request);
// The account as messages name it: "LocalSystem" for the empty one.
const char *AccountShownName(const char *account);

// The rights an account gets on a folder, and the folders: tavi's own
// (read and execute, for tavi.exe and tavi.ini) and, with a log, the log's
// (modify). LocalSystem gets none.
enum FolderRight { RIGHT_READ_EXECUTE, RIGHT_MODIFY };
struct FolderAccess {
    char folder[260];
    FolderRight right;
};
enum { FOLDER_ACCESS_MOST = 2 };
// The entries for the account's kind, in entries (FOLDER_ACCESS_MOST at
// least); their count, or -1 when the log's path does not fit.
int FormFolderAccess(FolderAccess *entries, AccountKind kind, const char *moduleDir,
                     const char *log);

// The SID of a virtual account, "S-1-5-80-" and five numbers: the SHA-1 of
// the service name in upper case as UTF-16LE (given as its code units),
// read as five little-endian 32-bit numbers. 0 when size is too small.
int FormVirtualAccountSid(char *out, size_t size, const uint16_t *upperName, size_t length);
// The SHA-1 digest of n bytes.
void Sha1(const unsigned char *data, size_t n, unsigned char digest[20]);

#endif

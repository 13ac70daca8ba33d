// See account.h.
#include "settings/account.h"
#include "settings/log_names.h"
#include "settings/text.h"

#include <string.h>

Credentials gCredentials;

static const char kAuthority[] = "NT AUTHORITY\\";
static const char kVirtualPrefix[] = "NT SERVICE\\";

// account names the built-in one, with or without "NT AUTHORITY\".
static int NamesBuiltIn(const char *account, const char *name)
{
    size_t prefix = strlen(kAuthority);
    if (TextEqualNI(account, kAuthority, prefix))
        account += prefix;
    return TextEqualI(account, name);
}

AccountKind AccountKindOf(const char *account, const char *serviceName)
{
    size_t prefix = strlen(kVirtualPrefix), length = strlen(account);
    if (length == 0 || TextEqualI(account, "LocalSystem"))
        return ACCOUNT_LOCALSYSTEM;
    if (NamesBuiltIn(account, "LocalService"))
        return ACCOUNT_LOCALSERVICE;
    if (NamesBuiltIn(account, "NetworkService"))
        return ACCOUNT_NETWORKSERVICE;
    if (TextEqualI(account, "virtual") ||
        (TextEqualNI(account, kVirtualPrefix, prefix) && TextEqualI(account + prefix, serviceName)))
        return ACCOUNT_VIRTUAL;
    // "$" is never a double-byte character's second byte.
    return account[length - 1] == '$' ? ACCOUNT_MANAGED : ACCOUNT_USER;
}

int FormAccountName(char *out, size_t size, const char *account, const char *serviceName)
{
    const char *name = account;
    switch (AccountKindOf(account, serviceName)) {
    case ACCOUNT_LOCALSYSTEM: name = ""; break;
    case ACCOUNT_LOCALSERVICE: name = "NT AUTHORITY\\LocalService"; break;
    case ACCOUNT_NETWORKSERVICE: name = "NT AUTHORITY\\NetworkService"; break;
    case ACCOUNT_VIRTUAL:
        if (!CopyText(out, size, kVirtualPrefix) || !AppendText(out, size, serviceName)) {
            CopyText(out, size, "");
            return 0;
        }
        return 1;
    default: break;
    }
    if (CopyText(out, size, name))
        return 1;
    CopyText(out, size, "");
    return 0;
}

AccountRefusal CheckAccountRequest(const AccountRequest *request)
{
    char name[TEXT_SIZE];
    if (request->accountGiven && request->account[0] == '\0')
        return ACCOUNT_EMPTY;
    if (request->accountCut ||
        !FormAccountName(name, sizeof name, request->account, request->serviceName))
        return ACCOUNT_TOO_LONG;
    AccountKind kind = AccountKindOf(request->account, request->serviceName);
    if (kind == ACCOUNT_USER && !request->passwordGiven)
        return ACCOUNT_NEEDS_PASSWORD;
    if (kind != ACCOUNT_USER && kind != ACCOUNT_MANAGED && request->passwordGiven)
        return ACCOUNT_TAKES_NO_PASSWORD;
    if (kind != ACCOUNT_LOCALSYSTEM && request->desktop)
        return ACCOUNT_NO_DESKTOP;
    return ACCOUNT_ACCEPTED;
}

const char *AccountShownName(const char *account)
{
    return account[0] != '\0' ? account : "LocalSystem";
}

int FormFolderAccess(FolderAccess *entries, AccountKind kind, const char *moduleDir,
                     const char *log)
{
    if (kind == ACCOUNT_LOCALSYSTEM)
        return 0;
    CopyText(entries[0].folder, sizeof entries[0].folder, moduleDir);
    entries[0].right = RIGHT_READ_EXECUTE;
    if (log[0] == '\0')
        return 1;
    if (!FormLogPath(entries[1].folder, sizeof entries[1].folder, moduleDir, log))
        return -1;
    CutAtLastBackslash(entries[1].folder);
    entries[1].right = RIGHT_MODIFY;
    return 2;
}

// SHA-1 as FIPS 180-4 gives it: the digest names the virtual account.
static uint32_t Rotate(uint32_t x, int n)
{
    return (x << n) | (x >> (32 - n));
}

static void Sha1Block(uint32_t h[5], const unsigned char *block)
{
    uint32_t w[80];
    for (int i = 0; i < 16; i++)
        w[i] = (uint32_t)block[4 * i] << 24 | (uint32_t)block[4 * i + 1] << 16 |
               (uint32_t)block[4 * i + 2] << 8 | block[4 * i + 3];
    for (int i = 16; i < 80; i++)
        w[i] = Rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; i++) {
        uint32_t f, k;
        if (i < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999;
        } else if (i < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1;
        } else if (i < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDC;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6;
        }
        uint32_t t = Rotate(a, 5) + f + e + k + w[i];
        e = d;
        d = c;
        c = Rotate(b, 30);
        b = a;
        a = t;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
    h[4] += e;
}

void Sha1(const unsigned char *data, size_t n, unsigned char digest[20])
{
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    unsigned char block[64];
    size_t whole = n - n % 64;
    for (size_t i = 0; i < whole; i += 64)
        Sha1Block(h, data + i);
    // The rest, a 1 bit, zeros and the length in bits: one block or two.
    size_t rest = n - whole;
    memset(block, 0, sizeof block);
    memcpy(block, data + whole, rest);
    block[rest] = 0x80;
    if (rest >= 56) {
        Sha1Block(h, block);
        memset(block, 0, sizeof block);
    }
    uint64_t bits = (uint64_t)n * 8;
    for (int i = 0; i < 8; i++)
        block[63 - i] = (unsigned char)(bits >> (8 * i));
    Sha1Block(h, block);
    for (int i = 0; i < 20; i++)
        digest[i] = (unsigned char)(h[i / 4] >> (24 - 8 * (i % 4)));
}

int FormVirtualAccountSid(char *out, size_t size, const uint16_t *upperName, size_t length)
{
    // A service name has at most 256 characters.
    unsigned char bytes[2 * 256], digest[20];
    if (length > 256) {
        CopyText(out, size, "");
        return 0;
    }
    for (size_t i = 0; i < length; i++) {
        bytes[2 * i] = (unsigned char)(upperName[i] & 0xFF);
        bytes[2 * i + 1] = (unsigned char)(upperName[i] >> 8);
    }
    Sha1(bytes, 2 * length, digest);
    int fits = CopyText(out, size, "S-1-5-80");
    for (int i = 0; i < 5 && fits; i++) {
        unsigned long part = (unsigned long)digest[4 * i] | (unsigned long)digest[4 * i + 1] << 8 |
                             (unsigned long)digest[4 * i + 2] << 16 |
                             (unsigned long)digest[4 * i + 3] << 24;
        fits = AppendText(out, size, "-") && AppendDecimal(out, size, part);
    }
    if (!fits)
        CopyText(out, size, "");
    return fits;
}

// iniread FILE SECTION KEY [DEFAULT]: reads one key of a private profile file
// the way tavi reads its settings, and prints
//   text=HEX    GetPrivateProfileStringA with the empty default and a
//               260-byte buffer, as hex of the ANSI bytes
//   int=N       GetPrivateProfileIntA with DEFAULT (0 when not given),
//               printed as a signed number
// so that the tests can compare a file with what the platform's reader
// makes of it.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: iniread FILE SECTION KEY [DEFAULT]\n");
        return 2;
    }
    char text[260];
    DWORD length = GetPrivateProfileStringA(argv[2], argv[3], "", text, sizeof text, argv[1]);
    printf("text=");
    for (DWORD i = 0; i < length; i++)
        printf("%02x", (unsigned char)text[i]);
    printf("\n");
    INT fallback = argc > 4 ? atoi(argv[4]) : 0;
    printf("int=%d\n", (int)GetPrivateProfileIntA(argv[2], argv[3], fallback, argv[1]));
    return 0;
}

// strings EXE ansi|wide FIRST LAST: loads string-table entries from EXE,
// mapped as a data file (which works for an i686 file from this x86_64
// program too), and prints "ID=HEX" for each: the ANSI bytes of
// LoadStringA, or the UTF-16LE bytes of LoadStringW. "ID=missing" when
// the entry is absent.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc < 5) {
        fprintf(stderr, "usage: strings EXE ansi|wide FIRST LAST\n");
        return 2;
    }
    HMODULE module = LoadLibraryExA(argv[1], NULL, LOAD_LIBRARY_AS_DATAFILE);
    if (module == NULL) {
        printf("load_error=%lu\n", GetLastError());
        return 2;
    }
    int wide = !lstrcmpA(argv[2], "wide");
    int first = atoi(argv[3]), last = atoi(argv[4]);
    for (int id = first; id <= last; id++) {
        printf("%d=", id);
        if (wide) {
            static WCHAR text[2048];
            int n = LoadStringW(module, id, text, 2048);
            if (n == 0)
                printf("missing");
            for (int i = 0; i < n; i++)
                printf("%02x%02x", text[i] & 0xFF, (text[i] >> 8) & 0xFF);
        } else {
            static char text[4096];
            int n = LoadStringA(module, id, text, sizeof text);
            if (n == 0)
                printf("missing");
            for (int i = 0; i < n; i++)
                printf("%02x", (unsigned char)text[i]);
        }
        printf("\n");
    }
    FreeLibrary(module);
    return 0;
}

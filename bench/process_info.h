// Figures of another process that the benchmark's driver reads: its
// Toolhelp entry (threads, parent) and its open handles.
#ifndef TAVI_BENCH_PROCESS_INFO_H
#define TAVI_BENCH_PROCESS_INFO_H

#include <windows.h>
#include <tlhelp32.h>

// The Toolhelp entry of processId; false (and a zeroed entry) when there is
// none.
inline bool FindProcessEntry(DWORD processId, PROCESSENTRY32 *found)
{
    bool ok = false;
    ZeroMemory(found, sizeof *found);
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ProcessID == processId) {
            *found = entry;
            ok = true;
        }
    CloseHandle(snapshot);
    return ok;
}

// Wine's GetProcessHandleCount gives 0; then the handles are counted in the
// system's handle table, which Wine fills from its server.
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
typedef LONG(WINAPI *QuerySystemInformationFn)(ULONG, PVOID, ULONG, PULONG);

inline DWORD CountProcessHandles(HANDLE process, DWORD processId)
{
    DWORD count = 0;
    if (GetProcessHandleCount(process, &count) && count != 0)
        return count;
    QuerySystemInformationFn query = (QuerySystemInformationFn)(void *)GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    if (query == NULL)
        return 0;
    const ULONG kSystemHandleInformation = 16;
    const LONG kLengthMismatch = (LONG)0xC0000004;
    ULONG size = 1 << 20;
    BYTE *buffer = NULL;
    LONG status = kLengthMismatch;
    while (status == kLengthMismatch && size <= (1u << 28)) {
        buffer = (BYTE *)VirtualAlloc(NULL, size, MEM_COMMIT, PAGE_READWRITE);
        if (buffer == NULL)
            return 0;
        ULONG needed = 0;
        status = query(kSystemHandleInformation, buffer, size, &needed);
        if (status == kLengthMismatch) {
            VirtualFree(buffer, 0, MEM_RELEASE);
            buffer = NULL;
            size *= 2;
        }
    }
    if (buffer == NULL)
        return 0;
    if (status == 0) {
        ULONG entries = *(ULONG *)buffer;
        // The entries follow the count at the alignment of a pointer.
        const SystemHandleEntry *entry = (const SystemHandleEntry *)(buffer + sizeof(void *));
        for (ULONG i = 0; i < entries; i++)
            if (entry[i].ownerPid == processId)
                count++;
    }
    VirtualFree(buffer, 0, MEM_RELEASE);
    return count;
}

#endif

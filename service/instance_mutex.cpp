// The named mutex "$$tavi$$<name>$$" whose existence tells that a host of
// this service already runs. It is never waited on or owned.
#include "service/service_host.h"
#include "settings/service_settings.h"

int AcquireInstanceMutex(void)
{
    char mutexName[TEXT_SIZE];
    // A name longer than 249 bytes cannot be part of a 259-byte mutex name.
    // Such a host runs without the guard: the SCM never starts a second host
    // of one service, and a copy started by hand cannot reach the dispatcher.
    if (!CopyText(mutexName, sizeof mutexName, "$$tavi$$") ||
        !AppendText(mutexName, sizeof mutexName, gSettings.name) ||
        !AppendText(mutexName, sizeof mutexName, "$$"))
        return 0;

    gRuntime.instanceMutex = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, mutexName);
    if (gRuntime.instanceMutex != NULL)
        return 1;

    // A NULL DACL lets any account open the mutex, so a copy started by a
    // user sees the one that the LocalSystem host created.
    SECURITY_ATTRIBUTES attributes;
    SECURITY_DESCRIPTOR descriptor;
    attributes.nLength = sizeof attributes;
    attributes.bInheritHandle = TRUE;
    attributes.lpSecurityDescriptor = NULL;
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, NULL, FALSE))
        attributes.lpSecurityDescriptor = &descriptor;
    gRuntime.instanceMutex = CreateMutexA(&attributes, FALSE, mutexName);
    return 0;
}

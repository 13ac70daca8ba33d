// The service's event source in the Application log: added with the
// registration, removed with the deletion.
#ifndef TAVI_SCM_EVENT_SOURCE_H
#define TAVI_SCM_EVENT_SOURCE_H

#include <windows.h>

// The source named after the service, with tavi.exe's message table for
// information, warning and error events; 0 or the error code.
DWORD AddEventSource(void);
void RemoveEventSource(void);

#endif

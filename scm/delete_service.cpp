// Deletes the service named in gSettings and asks it to stop.
#include "scm/scm_ops.h"
#include "scm/account_rights.h"
#include "scm/event_source.h"
#include "scm/scm_handle.h"
#include "settings/service_settings.h"

int DeleteWrappedService(void)
{
    WrappedServiceHandles handles;
    if (!handles)
        return 0;
    SC_HANDLE service = handles.service.get();
    // Deleted first, so that a delete that is refused leaves a running
    // service running; a service marked for deletion goes once it stops.
    if (!DeleteService(service))
        return 0;
    RevokeVirtualAccountAccess(service);
    RemoveEventSource();
    SERVICE_STATUS status;
    if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
        ControlService(service, SERVICE_CONTROL_STOP, &status))
        Sleep(500);
    return 1;
}

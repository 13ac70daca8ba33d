// Deletes the service named in gSettings, asking it to stop first.
#include "scm/scm_ops.h"
#include "scm/scm_handle.h"
#include "settings/service_settings.h"

int DeleteWrappedService(void)
{
    WrappedServiceHandles handles;
    if (!handles)
        return 0;
    SC_HANDLE service = handles.service.get();
    SERVICE_STATUS status;
    if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
        ControlService(service, SERVICE_CONTROL_STOP, &status))
        Sleep(500);
    return DeleteService(service) ? 1 : 0;
}

// Deletes the service named in gSettings, asking it to stop first.
#include "scm/scm_ops.h"
#include "scm/scm_handle.h"
#include "settings/service_settings.h"

int DeleteWrappedService(void)
{
    ScmHandle scm(OpenLocalScm());
    if (!scm)
        return 0;
    ScmHandle service(OpenServiceA(scm.get(), gSettings.name, SERVICE_ALL_ACCESS));
    if (!service)
        return 0;
    SERVICE_STATUS status;
    if (QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED &&
        ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
        Sleep(500);
    return DeleteService(service.get()) ? 1 : 0;
}

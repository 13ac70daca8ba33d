// Asks the SCM to start the service named in gSettings; does not wait for
// it to reach the running state.
#include "scm/scm_ops.h"
#include "scm/scm_handle.h"
#include "settings/service_settings.h"

int StartWrappedService(void)
{
    ScmHandle scm(OpenLocalScm());
    if (!scm)
        return 0;
    ScmHandle service(OpenServiceA(scm.get(), gSettings.name, SERVICE_ALL_ACCESS));
    if (!service)
        return 0;
    return StartServiceA(service.get(), 0, NULL) ? 1 : 0;
}

// Asks the SCM to start the service named in gSettings; does not wait for
// it to reach the running state.
#include "scm/scm_ops.h"
#include "scm/scm_handle.h"
#include "settings/service_settings.h"

int StartWrappedService(void)
{
    WrappedServiceHandles handles;
    return handles && StartServiceA(handles.service.get(), 0, NULL) ? 1 : 0;
}

// A service handle closed when it goes out of scope, so that every early
// return of an operation closes what it opened.
#ifndef TAVI_SCM_SCM_HANDLE_H
#define TAVI_SCM_SCM_HANDLE_H

#include <windows.h>

#include "settings/service_settings.h"

class ScmHandle {
public:
    explicit ScmHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScmHandle()
    {
        if (handle_)
            CloseServiceHandle(handle_);
    }
    ScmHandle(const ScmHandle &) = delete;
    ScmHandle &operator=(const ScmHandle &) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != NULL; }

private:
    SC_HANDLE handle_;
};

// The local machine's active database, with the right to create services.
inline SC_HANDLE OpenLocalScm(void)
{
    return OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE);
}

// The SCM and the service named in gSettings with all access; true when
// both opened. Both are closed when it goes out of scope.
struct WrappedServiceHandles {
    ScmHandle scm;
    ScmHandle service;
    WrappedServiceHandles()
        : scm(OpenLocalScm()),
          service(scm ? OpenServiceA(scm.get(), gSettings.name, SERVICE_ALL_ACCESS) : NULL)
    {
    }
    explicit operator bool() const { return static_cast<bool>(service); }
};

#endif

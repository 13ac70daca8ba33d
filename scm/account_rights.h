// The rights of the account a service runs under: given at the
// registration, and the virtual account's taken back at the deletion.
#ifndef TAVI_SCM_ACCOUNT_RIGHTS_H
#define TAVI_SCM_ACCOUNT_RIGHTS_H

#include <windows.h>

// Gives the account of gSettings what its service needs: the right to log
// on as a service (a user or managed account) and access to tavi's folder
// and the log's (any account but LocalSystem). 0 or the error code.
DWORD GrantAccountRights(void);
// When the service (being deleted) runs as its virtual account, that
// account's entries go from those folders: it exists for this service
// alone. Rights of other accounts stay, as other services may use them.
void RevokeVirtualAccountAccess(SC_HANDLE service);

#endif

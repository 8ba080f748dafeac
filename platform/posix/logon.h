// logon.h - logging a local user on, on POSIX: PAM checks the password and the account, the
// password and group databases give the ids the user's programs run with.
#pragma once

#include "platform/posix/child.h"

namespace kav::platform::posix {

// The PAM service kavutil logs users on through (its file is /etc/pam.d/kavutil; without it
// PAM uses /etc/pam.d/other).
inline constexpr char kPamService[] = "kavutil";

// Logs user on with password: authentication and the account check of kPamService, then the
// user's uid, gid, supplementary groups, name and home.  0 and *account on success, else the
// PAM code of the step that failed (PAM_SYSTEM_ERR when libpam cannot be loaded).
int log_on(const char* user, const char* password, Account* account);

}  // namespace kav::platform::posix

// logon.cpp - a local user's logon through PAM, with libpam loaded on first use.
//
// libpam.so.0 is opened with dlopen when kav_winexec_as_user first needs it, so that
// libkavutil.so itself does not depend on PAM (and builds where no PAM library exists for the
// target still link).  RTLD_NODELETE keeps it loaded after the call closes its handle: later
// calls find it in place, and the PAM modules it loaded are never unloaded under it.
//
// The logon is what LogonUserA's interactive logon checks: the password (pam_authenticate)
// and whether the account may be used now (pam_acct_mgmt: expired, locked, password change
// due).  Both calls pass PAM_DISALLOW_NULL_AUTHTOK, so an account with an empty password
// cannot be used, as Windows by default refuses blank passwords for such logons.  No PAM
// session is opened: the program is not a login session (no utmp entry, no logind session).
// The conversation answers a hidden prompt with the password and a visible one with the user
// name, and ignores information and error messages (PAM_SILENT asks modules for none).

#include "platform/posix/logon.h"

#include <dlfcn.h>
#include <grp.h>
#include <pwd.h>
#include <security/pam_appl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/memory.h"

namespace kav::platform::posix {
namespace {

constexpr int kFlags = PAM_SILENT | PAM_DISALLOW_NULL_AUTHTOK;

// The four entry points of libpam this file uses.
class Pam {
 public:
  Pam() : library_(dlopen("libpam.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
    if (library_ == nullptr) return;
    start_ = reinterpret_cast<decltype(start_)>(dlsym(library_, "pam_start"));
    authenticate_ = reinterpret_cast<decltype(authenticate_)>(dlsym(library_, "pam_authenticate"));
    check_account_ = reinterpret_cast<decltype(check_account_)>(dlsym(library_, "pam_acct_mgmt"));
    end_ = reinterpret_cast<decltype(end_)>(dlsym(library_, "pam_end"));
  }
  ~Pam() {
    if (library_ != nullptr) dlclose(library_);
  }
  Pam(const Pam&) = delete;
  Pam& operator=(const Pam&) = delete;

  bool loaded() const { return start_ && authenticate_ && check_account_ && end_; }

  // pam_start, pam_authenticate, pam_acct_mgmt and pam_end for user on kPamService.
  int Check(const char* user, const pam_conv& conversation) const {
    pam_handle_t* handle = nullptr;
    int result = start_(kPamService, user, &conversation, &handle);
    if (result != PAM_SUCCESS) return result;
    result = authenticate_(handle, kFlags);
    if (result == PAM_SUCCESS) result = check_account_(handle, kFlags);
    end_(handle, result);
    return result;
  }

 private:
  void* library_;
  int (*start_)(const char*, const char*, const pam_conv*, pam_handle_t**) = nullptr;
  int (*authenticate_)(pam_handle_t*, int) = nullptr;
  int (*check_account_)(pam_handle_t*, int) = nullptr;
  int (*end_)(pam_handle_t*, int) = nullptr;
};

struct Secrets {
  const char* user;
  const char* password;
};

void ReleaseReplies(pam_response* replies, int count) {
  for (int i = 0; i < count; ++i) {
    if (replies[i].resp == nullptr) continue;
    explicit_bzero(replies[i].resp, std::strlen(replies[i].resp));
    kav::platform::memory::release(replies[i].resp);
  }
  kav::platform::memory::release(replies);
}

// The conversation function; PAM frees the replies with free(), which the heap seam's blocks
// allow.
int Converse(int count, const pam_message** messages, pam_response** responses, void* data) {
  const auto* secrets = static_cast<const Secrets*>(data);
  auto* replies = static_cast<pam_response*>(
      kav::platform::memory::allocate_zeroed(count > 0 ? count : 1, sizeof(pam_response)));
  if (replies == nullptr) return PAM_BUF_ERR;
  for (int i = 0; i < count; ++i) {
    const int style = messages[i]->msg_style;
    if (style == PAM_ERROR_MSG || style == PAM_TEXT_INFO) continue;
    const char* answer = style == PAM_PROMPT_ECHO_OFF  ? secrets->password
                         : style == PAM_PROMPT_ECHO_ON ? secrets->user
                                                       : nullptr;
    replies[i].resp = answer != nullptr ? kav::platform::memory::duplicate(answer) : nullptr;
    if (replies[i].resp == nullptr) {
      ReleaseReplies(replies, count);
      return answer != nullptr ? PAM_BUF_ERR : PAM_CONV_ERR;
    }
  }
  *responses = replies;
  return PAM_SUCCESS;
}

// The user's ids, name and home from the password database, and the groups that list them.
bool LookUpAccount(const char* user, Account* account) {
  const long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(hint > 0 ? static_cast<std::size_t>(hint) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  while (getpwnam_r(user, &entry, buffer.data(), buffer.size(), &found) == ERANGE)
    buffer.resize(buffer.size() * 2);
  if (found == nullptr) return false;
  account->uid = entry.pw_uid;
  account->gid = entry.pw_gid;
  account->name = entry.pw_name;
  account->home = entry.pw_dir != nullptr ? entry.pw_dir : "/";
  for (int size = 16;;) {
    account->groups.resize(static_cast<std::size_t>(size));
    int count = size;
    if (getgrouplist(entry.pw_name, entry.pw_gid, account->groups.data(), &count) >= 0) {
      account->groups.resize(static_cast<std::size_t>(count));
      return true;
    }
    size = std::max(count, size * 2);  // count is the number needed
  }
}

}  // namespace

int log_on(const char* user, const char* password, Account* account) {
  if (user == nullptr || user[0] == '\0') return PAM_USER_UNKNOWN;
  const Pam pam;
  if (!pam.loaded()) return PAM_SYSTEM_ERR;
  Secrets secrets{user, password != nullptr ? password : ""};
  const pam_conv conversation{Converse, &secrets};
  const int result = pam.Check(user, conversation);
  if (result != PAM_SUCCESS) return result;
  return LookUpAccount(user, account) ? PAM_SUCCESS : PAM_USER_UNKNOWN;
}

}  // namespace kav::platform::posix

#include "platform/linux/privileges.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

std::string Failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

bool ParseId(const char* text, unsigned long* value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  unsigned long v = std::strtoul(text, &end, 10);
  if (errno || *end || text[0] == '-' || v >= 0xFFFFFFFFul) return false;
  *value = v;
  return true;
}

void GroupsOf(const char* name, gid_t gid, std::vector<gid_t>* groups) {
  int count = 64;
  for (int attempt = 0; attempt < 4; ++attempt) {
    groups->assign(size_t(count), 0);
    int n = count;
    if (getgrouplist(name, gid, groups->data(), &n) >= 0) {
      groups->resize(size_t(n));
      return;
    }
    count = n > count ? n : count * 4;
  }
  groups->assign(1, gid);
}

int ClearThreadCapabilities() {
  __user_cap_header_struct header{};
  header.version = _LINUX_CAPABILITY_VERSION_3;
  header.pid = 0;
  __user_cap_data_struct data[2] = {};
  return int(syscall(SYS_capset, &header, data));
}

}  // namespace

const IDENTITY_CALLS& SystemIdentityCalls() {
  static const IDENTITY_CALLS calls{
      [] { return ::geteuid(); },
      [](size_t n, const gid_t* list) { return ::setgroups(n, list); },
      [](gid_t r, gid_t e, gid_t s) { return ::setresgid(r, e, s); },
      [](uid_t r, uid_t e, uid_t s) { return ::setresuid(r, e, s); },
      [](uid_t* r, uid_t* e, uid_t* s) { return ::getresuid(r, e, s); },
      [] { return ClearThreadCapabilities(); },
  };
  return calls;
}

bool ResolveDropTarget(const std::string& userName, const char* sudoUid, const char* sudoGid, DROP_TARGET* target,
                       bool* found, std::string* error) {
  *found = false;
  if (!userName.empty()) {
    const passwd* user = getpwnam(userName.c_str());
    if (!user) {
      *error = "no user " + userName;
      return false;
    }
    target->uid = user->pw_uid;
    target->gid = user->pw_gid;
    target->name = userName;
    GroupsOf(user->pw_name, user->pw_gid, &target->groups);
    *found = true;
    return true;
  }
  if (!sudoUid || !*sudoUid) return true;
  unsigned long uid = 0, gid = 0;
  if (!ParseId(sudoUid, &uid) || !ParseId(sudoGid, &gid)) {
    *error = "SUDO_UID/SUDO_GID are not user and group numbers";
    return false;
  }
  target->uid = uid_t(uid);
  target->gid = gid_t(gid);
  target->groups.assign(1, target->gid);
  if (const passwd* user = getpwuid(target->uid)) {
    target->name = user->pw_name;
    GroupsOf(user->pw_name, target->gid, &target->groups);
  } else {
    target->name = "uid " + std::to_string(uid);
  }
  *found = true;
  return true;
}

bool DropPrivileges(const DROP_TARGET* target, const IDENTITY_CALLS& calls, std::string* error) {
  if (calls.geteuid() != 0) {
    // An ordinary user with CAP_NET_ADMIN: there is no one else to become, only rights to lose.
    if (calls.clearCapabilities() != 0) {
      *error = Failure("capset");
      return false;
    }
    return true;
  }
  if (!target) {
    *error = "running as root: give --user NAME (or start through sudo) to run as a user";
    return false;
  }
  if (target->uid == 0) {
    *error = "will not run as root: --user names root";
    return false;
  }
  // Groups first: once the user id is gone, they could no longer be changed.
  if (calls.setgroups(target->groups.size(), target->groups.data()) != 0) {
    *error = Failure("setgroups");
    return false;
  }
  if (calls.setresgid(target->gid, target->gid, target->gid) != 0) {
    *error = Failure("setresgid");
    return false;
  }
  if (calls.setresuid(target->uid, target->uid, target->uid) != 0) {
    *error = Failure("setresuid");
    return false;
  }
  uid_t r = 0, e = 0, s = 0;
  if (calls.getresuid(&r, &e, &s) != 0 || r != target->uid || e != target->uid || s != target->uid ||
      calls.setresuid(0, 0, 0) == 0) {
    *error = "root could be taken back after dropping it";
    return false;
  }
  return true;
}

// Giving up root (or CAP_NET_ADMIN) once the TUN interface exists: the receiver parses
// broadcast data from the air and must not do so with rights it no longer needs. The TUN
// descriptor stays open and needs none; closing it at the end needs none either.
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

// Who the process becomes.
struct DROP_TARGET {
  uid_t uid = 0;
  gid_t gid = 0;
  std::vector<gid_t> groups;  // supplementary groups, the primary one among them
  std::string name;           // for messages
};

// The identity calls, replaceable so that tests can check the order and the failures
// without being root.
struct IDENTITY_CALLS {
  std::function<uid_t()> geteuid;
  std::function<int(size_t, const gid_t*)> setgroups;
  std::function<int(gid_t, gid_t, gid_t)> setresgid;
  std::function<int(uid_t, uid_t, uid_t)> setresuid;
  std::function<int(uid_t*, uid_t*, uid_t*)> getresuid;
  std::function<int()> clearCapabilities;  // empties this thread's capability sets
};
const IDENTITY_CALLS& SystemIdentityCalls();

// `--user NAME` when given, else the user sudo ran us for (SUDO_UID, SUDO_GID). False with
// a reason when the name is unknown or the sudo values are not numbers; true with
// *found false when there is nobody to become.
bool ResolveDropTarget(const std::string& userName, const char* sudoUid, const char* sudoGid, DROP_TARGET* target,
                       bool* found, std::string* error);

// Root: supplementary groups, group and user set to the target's for good (real, effective
// and saved), then checked that root cannot be taken back. Not root: the capabilities are
// emptied (an unprivileged user with CAP_NET_ADMIN keeps nothing). False with a reason
// when any step fails; the caller must not go on with the rights it has.
bool DropPrivileges(const DROP_TARGET* target, const IDENTITY_CALLS& calls, std::string* error);

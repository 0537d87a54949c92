#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace tarnex::testing {

// "nobody", the owner of files that are not the console user's; only root can make them.
inline constexpr uid_t kOtherUid = 65534;
inline constexpr gid_t kOtherGid = 65534;

#define TARNEX_SKIP_UNLESS_ROOT() \
  if (::geteuid() != 0) GTEST_SKIP() << "only root can make files of another user"

inline bool GiveAway(const std::string& path) {
  return ::lchown(path.c_str(), kOtherUid, kOtherGid) == 0;
}

// The scope runs with the other user's effective ids, as an operator without rights over
// root's files would. Root only.
class AsOtherUser {
 public:
  AsOtherUser() : m_ok(::setegid(kOtherGid) == 0 && ::seteuid(kOtherUid) == 0) {}
  ~AsOtherUser() {
    if (::seteuid(0) != 0 || ::setegid(0) != 0) std::abort();
  }
  bool Ok() const { return m_ok; }

 private:
  bool m_ok;
};

}  // namespace tarnex::testing

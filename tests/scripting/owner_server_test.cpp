#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "scripting/owner_client.h"
#include "scripting/owner_server.h"
#include "support/console_fixture.h"
#include "support/other_user.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;

// How a client of another user fared: the answer it read, as the child's exit status.
enum ChildSaw { kClosedUnanswered = 0, kAnswered = 1, kNoConnect = 2, kNoEnd = 3 };

// Forked, so that only the child changes its user; it makes no allocation after the fork.
int AskAsOtherUser(const std::string& socketPath, const std::string& requestLine) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(testing::kOtherGid) != 0 || ::setuid(testing::kOtherUid) != 0) ::_exit(kNoConnect);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      ::_exit(kNoConnect);
    (void)!::write(fd, requestLine.data(), requestLine.size());
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 5000) <= 0) ::_exit(kNoEnd);
    char byte;
    // Closed with the request unread, the connection ends in a reset rather than an end.
    ::_exit(::read(fd, &byte, 1) > 0 ? kAnswered : kClosedUnanswered);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The owner answers its own user only, even where the socket's folder and mode would let
// another user reach it: that user's request is closed unanswered and nothing is sent.
TEST_F(ConsoleFixture, TheOwnerServesOnlyItsOwnUser) {
  TARNEX_SKIP_UNLESS_ROOT();
  const std::string display = Loopback(1);
  fleet.Add({.address = display});
  Configure({display});
  core->BuildTree();
  const std::string socketPath = folder + "owner.sock";
  OwnerServer server(*core);
  std::string error;
  ASSERT_TRUE(server.Start(socketPath, &error)) << error;
  ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(socketPath.c_str(), 0666), 0);
  ScriptRequest request;
  request.verb = ScriptRequest::Verb::kPower;
  request.targets = {display};
  const size_t before = fleet.CommandsTo(display).size();

  EXPECT_EQ(AskAsOtherUser(socketPath, RequestToJson(request) + "\n"), kClosedUnanswered);
  EXPECT_EQ(fleet.CommandsTo(display).size(), before);

  const ScriptReport report = AskOwner(socketPath, request);
  EXPECT_EQ(ExitCodeOf(report), script_exit::kOk) << report.errorMessage;
  EXPECT_EQ(fleet.CommandsTo(display).back(), "ka 01 00\n");
  server.Stop();
}

}  // namespace
}  // namespace tarnex

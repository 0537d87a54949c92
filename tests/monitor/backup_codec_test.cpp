// The value a backup keeps from a reply, and the restore command built from a stored value.
#include "monitor/backup_codec.h"

#include <gtest/gtest.h>

namespace tarnex {
namespace {

struct ReplyCase {
  size_t key;
  std::string reply;
  std::optional<std::string> value;
};

TEST(BackupCodec, ValuesComeOnlyFromWholeRepliesToTheirQuery) {
  const std::vector<ReplyCase> cases = {
      {0, "a 01 OK01x", "01"},
      {0, "a 01 OK01x\r\n", "01"},  // a line end after the reply is no data
      {3, "d 01 OKA0x", "A0"},
      {33, "a 01 OK123456x", "123456"},
      {34, "u 01 OK0005x", "0005"},
      {41, "u 01 OK0730x", "0730"},
      {42, "c 01 OK7fx", "007f"},  // one data pair, kept after "00"
      {51, "b 01 OK02x", "0002"},
      {50, "e 01 OK07aabbx", "07aabb"},
      {59, "d 01 OK071234x", "071234"},
      // Malformed: nothing is taken, never bytes from before the reply.
      {0, "a 01 OK011x", std::nullopt},  // odd length
      {0, "a 01 NGx", std::nullopt},
      {0, "x", std::nullopt},
      {0, "", std::nullopt},
      {0, "b 01 OK01x", std::nullopt},    // another command's reply
      {0, "a 01 OKzzx", std::nullopt},    // no hex
      {0, "a 01 OK0100x", std::nullopt},  // more data than the query has
      {33, "a 01 OK12x", std::nullopt},   // less
      {42, "c 01 OK007fx", std::nullopt},
      {60, "a 01 OK01x", std::nullopt},  // no such key
      {0, std::string("a 01 OK\0\0x", 10), std::nullopt},
  };
  for (const ReplyCase& c : cases) {
    EXPECT_EQ(BackupValueFromReply(c.key, c.reply), c.value) << c.key << " " << c.reply;
  }
  EXPECT_TRUE(IsOddLengthReply("a 01 OK011x"));
  EXPECT_TRUE(IsOddLengthReply("a 01 OK011x\r\n"));
  EXPECT_FALSE(IsOddLengthReply("a 01 OK01x\n"));
  EXPECT_STREQ(BackupRetryTrace(32), "ReTry.......");
  EXPECT_STREQ(BackupRetryTrace(33), "retry......");
}

struct CommandCase {
  size_t key;
  std::string value;
  std::optional<std::string> command;
};

// Built by the value's length up to the key's fields; anything but 2, 4 or 6 hex digits sends
// nothing, where the bare prefix would leave the display waiting for a line end, and so does
// a value with more pairs than the command has fields.
TEST(BackupCodec, RestoreCommandsCarryOnlyHexPairs) {
  const std::vector<CommandCase> cases = {
      {0, "01", "ka 01 01\n"},
      {23, "0a", "k$ 01 0a\n"},
      {33, "123456", "fa 01 12 34 56\n"},
      {34, "0005", "fu 01 00 05\n"},
      {42, "007f", "fc 01 00 7f\n"},
      {51, "0002", "fb 01 00 02\n"},
      {59, "07aBcD", "fd 01 07 aB cD\n"},
      {34, "05", "fu 01 05\n"},  // the stored length decides, up to the key's fields
      {0, "0102", std::nullopt},
      {16, "123456", std::nullopt},
      {34, "000102", std::nullopt},
      {42, "00017f", std::nullopt},
      {0, "", std::nullopt},
      {0, "1", std::nullopt},
      {0, "123", std::nullopt},
      {33, "12345", std::nullopt},
      {33, "1234567", std::nullopt},
      {0, "0 ", std::nullopt},
      {0, "\n1", std::nullopt},
      {0, "zz", std::nullopt},
      {0, std::string(299, '1'), std::nullopt},
      {60, "01", std::nullopt},
  };
  for (const CommandCase& c : cases) {
    EXPECT_EQ(RestoreCommand(c.key, c.value), c.command) << c.key << " '" << c.value << "'";
  }
}

}  // namespace
}  // namespace tarnex

#include "app/command_line.h"

#include <gtest/gtest.h>

namespace tarnex {
namespace {

TEST(CommandLine, HelpAndVersionAreFoundAmongQtOptionsButNotAfterTheEndOfOptions) {
  EXPECT_EQ(ReadCommandLine({"tarnex-manager"}), CommandLineAction::kRun);
  EXPECT_EQ(ReadCommandLine({"tarnex-manager", "-platform", "offscreen", "-h"}),
            CommandLineAction::kHelp);
  EXPECT_EQ(ReadCommandLine({"tarnex-manager", "--version", "--help"}),
            CommandLineAction::kVersion);
  EXPECT_EQ(ReadCommandLine({"tarnex-manager", "--", "--help"}), CommandLineAction::kRun);
  EXPECT_EQ(ConsoleVersionText().rfind("tarnex-manager ", 0), 0U);
}

TEST(CommandLine, WhatQtLeftIsNamed) {
  EXPECT_EQ(LeftoverArgumentText({"tarnex-manager"}), "");
  EXPECT_EQ(LeftoverArgumentText({"tarnex-manager", "--verison"}),
            "tarnex-manager: unknown argument '--verison' (see --help)\n");
}

}  // namespace
}  // namespace tarnex

#pragma once

#include <string>
#include <vector>

#include "support/child_process.h"

namespace tarnex::sim::testing {

using namespace std::chrono_literals;

// The display-sim program, started with its stdout on a pipe. Given an open-file limit, it
// runs under that hard limit and its stderr goes to the pipe as well.
class Program : public tarnex::testing::ChildProcess {
 public:
  explicit Program(const std::vector<std::string>& args, long maxOpenFiles = -1)
      : ChildProcess(DISPLAY_SIM_PROGRAM, args, OptionsFor(maxOpenFiles)) {}

 private:
  static Options OptionsFor(long maxOpenFiles) {
    Options options;
    options.maxOpenFiles = maxOpenFiles;
    return options;
  }
};

}  // namespace tarnex::sim::testing

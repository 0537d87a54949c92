#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace tarnex::testing {

// The operations of a history report, one per line, with the address: "127.0.0.5 Power On".
inline std::vector<std::string> HistoryOperations(const std::string& history) {
  std::vector<std::string> result;
  std::istringstream lines(history);
  std::string line;
  while (std::getline(lines, line)) {
    const auto subject = line.find(" : ");
    const auto operation = line.find("    Operation : ");
    if (subject == std::string::npos || operation == std::string::npos) continue;
    result.push_back(line.substr(subject + 3, operation - subject - 3) + " " +
                     line.substr(operation + 16, line.size() - operation - 17));
  }
  return result;
}

}  // namespace tarnex::testing

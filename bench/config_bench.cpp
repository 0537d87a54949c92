// Saves and loads a configuration at full capacity (1000 displays, 300 groups of 1000
// members) and prints the median times and the peak resident memory of the process.

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "config/network_manager_doc.h"
#include "platform/private_profile.h"

namespace {

using tarnex::COsprelNetworkManagerDoc;

constexpr int kRounds = 5;

std::string Octet(int value) {
  return std::to_string(value % 256);
}

void FillDisplays(COsprelNetworkManagerDoc& doc) {
  doc.m_docSocketNumber = tarnex::kMaxDisplays;
  for (int i = 0; i < tarnex::kMaxDisplays; ++i) {
    tarnex::DisplayRecord& record = doc.m_docDisplays[static_cast<size_t>(i)];
    record.m_address = "10.1." + Octet(i / 256) + "." + Octet(i);
    record.m_label = "[Display " + std::to_string(i) + "]" + record.m_address;
    record.m_compactMac = "0A1B2C3D4E" + Octet(i);
    record.m_displayMac = "0A - 1B - 2C - 3D - 4E - " + Octet(i);
    record.m_ipMode = "Manual";
    for (size_t o = 0; o < 4; ++o) {
      record.m_ipAddress[o] = Octet(i + static_cast<int>(o));
      record.m_subnetMask[o] = o < 3 ? "255" : "0";
      record.m_gateway[o] = Octet(static_cast<int>(o) + 1);
      record.m_primaryDns[o] = "8";
      record.m_secondaryDns[o] = "4";
    }
  }
}

void FillGroups(COsprelNetworkManagerDoc& doc) {
  doc.m_docGroupNumCount = tarnex::kMaxGroups;
  for (int g = 0; g < tarnex::kMaxGroups; ++g) {
    doc.m_docGroupName[static_cast<size_t>(g)] = "Group " + std::to_string(g);
    doc.SetGroupMemberCount(g, tarnex::kMaxNetworkMembers);
    tarnex::GroupRecord& group = doc.m_docGroups[static_cast<size_t>(g)];
    for (int m = 0; m < tarnex::kMaxNetworkMembers; ++m) {
      const std::string& address = doc.m_docDisplays[static_cast<size_t>(m)].m_address;
      group.m_labels[static_cast<size_t>(m)] = "[" + std::to_string(m + 1) + "]" + address;
      group.m_addresses[static_cast<size_t>(m)] = address;
    }
  }
}

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double PeakMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

std::string MakeFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp != nullptr ? tmp : "/tmp") + "/config-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::exit(1);
  }
  return pattern;
}

void RemoveFolder(const std::string& folder) {
  for (const char* name : {"/QXMNTConfig.ini", "/QXMNTSerialConfig.ini"}) {
    ::unlink((folder + name).c_str());
  }
  ::rmdir(folder.c_str());
}

}  // namespace

int main() {
  std::vector<double> saves;
  std::vector<double> loads;
  bool ok = true;
  for (int round = 0; round < kRounds; ++round) {
    const std::string folder = MakeFolder();
    ::setenv("TARNEX_CONFIG_DIR", folder.c_str(), 1);
    {
      auto doc = std::make_unique<COsprelNetworkManagerDoc>();
      FillDisplays(*doc);
      FillGroups(*doc);
      const auto start = std::chrono::steady_clock::now();
      ok = doc->WriteNetworkConfig() && ok;
      saves.push_back(MillisecondsSince(start));
    }
    if (round == 0) {
      struct stat info {};
      ::stat((folder + "/QXMNTConfig.ini").c_str(), &info);
      std::printf("config-bench: network file %.1f MB\n",
                  static_cast<double>(info.st_size) / (1024.0 * 1024.0));
    }
    // Loading starts from the disk, as at program start.
    tarnex::DropPrivateProfileCache();
    {
      auto doc = std::make_unique<COsprelNetworkManagerDoc>();
      const auto start = std::chrono::steady_clock::now();
      doc->OnNewDocument();
      loads.push_back(MillisecondsSince(start));
      const bool complete = doc->m_docSocketNumber == tarnex::kMaxDisplays &&
                            doc->m_docGroupNumCount == tarnex::kMaxGroups &&
                            doc->m_docGroups.back().m_labels.size() == 1000u;
      ok = complete && ok;
    }
    tarnex::DropPrivateProfileCache();
    RemoveFolder(folder);
  }
  if (!ok) std::printf("config-bench: a save or load was incomplete\n");
  std::printf("config-bench: save %.0f ms, load %.0f ms, peak %.0f MB\n", Median(saves),
              Median(loads), PeakMegabytes());
  return ok ? 0 : 1;
}

// The whole configuration from any file in the configuration folder, saved and loaded again:
// every table, label and setting the console loaded comes back as it was.
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "config/network_manager_doc.h"
#include "fuzz_support.h"

using namespace tarnex;

namespace {

// One folder for the run, chosen through the variable the console reads it from.
const std::string& ConfigFolder() {
  static const std::string folder = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tarnex-fuzz-XXXXXX";
    TARNEX_FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
    TARNEX_FUZZ_CHECK(setenv("TARNEX_CONFIG_DIR", pattern.c_str(), 1) == 0);
    return pattern + "/";
  }();
  // Registered once the name is made, so that it runs before the name is destroyed.
  static const bool removedAtExit = std::atexit([] {
                                      std::error_code ignored;
                                      std::filesystem::remove_all(ConfigFolder(), ignored);
                                    }) == 0;
  TARNEX_FUZZ_CHECK(removedAtExit);
  return folder;
}

void CheckSame(const COsprelNetworkManagerDoc& a, const COsprelNetworkManagerDoc& b) {
  TARNEX_FUZZ_CHECK(a.m_docCommunicationSelect == b.m_docCommunicationSelect);
  TARNEX_FUZZ_CHECK(a.m_docSocketNumber == b.m_docSocketNumber);
  TARNEX_FUZZ_CHECK(a.m_docGroupNumCount == b.m_docGroupNumCount);
  TARNEX_FUZZ_CHECK(a.m_docSerialGroupNumCount == b.m_docSerialGroupNumCount);
  TARNEX_FUZZ_CHECK(a.m_docDisplays == b.m_docDisplays);
  TARNEX_FUZZ_CHECK(a.m_docGroupName == b.m_docGroupName);
  TARNEX_FUZZ_CHECK(a.m_docGroups == b.m_docGroups);
  TARNEX_FUZZ_CHECK(a.m_docSerialGroups == b.m_docSerialGroups);
  TARNEX_FUZZ_CHECK(a.m_docPortStr == b.m_docPortStr);
  TARNEX_FUZZ_CHECK(a.m_docBaudrate == b.m_docBaudrate && a.m_docData == b.m_docData &&
                    a.m_docStop == b.m_docStop && a.m_docParity == b.m_docParity);
  TARNEX_FUZZ_CHECK(a.m_docPortInt == b.m_docPortInt && a.m_docBaudrateInt == b.m_docBaudrateInt &&
                    a.m_docDataInt == b.m_docDataInt && a.m_docStopInt == b.m_docStopInt &&
                    a.m_docParityInt == b.m_docParityInt);
  TARNEX_FUZZ_CHECK(a.m_docAlarmSubject == b.m_docAlarmSubject);
  TARNEX_FUZZ_CHECK(a.m_docAlarmTo == b.m_docAlarmTo && a.m_docAlarmFrom == b.m_docAlarmFrom);
  TARNEX_FUZZ_CHECK(a.m_docAlarmServer == b.m_docAlarmServer);
  TARNEX_FUZZ_CHECK(a.m_docAlarmUser == b.m_docAlarmUser &&
                    a.m_docAlarmPassword == b.m_docAlarmPassword);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::string& folder = ConfigFolder();
  // The input is the network file; the other two start out missing.
  for (const char* name : {"QXMNTSerialConfig.ini", "QXMNTLoginConfig.ini"}) {
    std::remove((folder + name).c_str());
  }
  std::FILE* file = std::fopen((folder + "QXMNTConfig.ini").c_str(), "wb");
  TARNEX_FUZZ_CHECK(file != nullptr);
  if (size > 0) TARNEX_FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
  TARNEX_FUZZ_CHECK(std::fclose(file) == 0);

  COsprelNetworkManagerDoc loaded;
  loaded.OnNewDocument();
  loaded.ReadAlarmSettings();
  TARNEX_FUZZ_CHECK(loaded.UnreadableFiles().empty());
  if (loaded.m_docCommunicationSelect == kNetworkMode) {
    TARNEX_FUZZ_CHECK(loaded.WriteNetworkConfig());
  } else if (loaded.m_docCommunicationSelect == kSerialMode) {
    TARNEX_FUZZ_CHECK(loaded.WriteSerialConfig());
  } else {
    return 0;
  }

  COsprelNetworkManagerDoc again;
  again.OnNewDocument();
  again.ReadAlarmSettings();
  CheckSame(loaded, again);
  return 0;
}

// Saves one kind of file over and over, for a test that kills it at random moments:
//   save-loop KIND FOLDER [once]
// KIND is config, login, alarm or backup. The first run into FOLDER writes version A and then
// version B of the file(s) and keeps each as FOLDER/refs/<version>.<name>; it prints "ready"
// and then writes B, A, B, ... until it is killed, or, with "once", saves a third version C
// once and ends (a save of what the file holds already writes nothing).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "config/backup_file.h"
#include "config/login_file.h"
#include "config/network_manager_doc.h"

namespace {

using namespace tarnex;

struct Kind {
  std::vector<std::string> files;  // names in FOLDER that a save replaces
  std::function<bool(char version)> save;
};

// A fleet's configuration: 1000 displays, the labels marked with the version so that the two
// versions differ all through the file.
bool SaveConfig(COsprelNetworkManagerDoc& doc, char version) {
  doc.m_docSocketNumber = kMaxDisplays;
  for (int i = 0; i < kMaxDisplays; ++i) {
    DisplayRecord& record = doc.m_docDisplays[static_cast<size_t>(i)];
    record.m_address = "127.0." + std::to_string(i / 250 + 1) + "." + std::to_string(i % 250 + 1);
    record.m_label = std::string("[Hall ") + version + "]" + record.m_address;
  }
  return doc.WriteNetworkConfig();
}

Kind KindOf(const std::string& name, COsprelNetworkManagerDoc& doc, const std::string& folder) {
  if (name == "config") {
    return {{"QXMNTConfig.ini"}, [&doc](char v) { return SaveConfig(doc, v); }};
  }
  if (name == "login") {
    return {{"QXMNTLoginConfig.ini"}, [folder](char v) {
              const std::string text(200, v);
              return WriteLoginFile(folder + "/QXMNTLoginConfig.ini", {text, text});
            }};
  }
  if (name == "alarm") {
    return {{"QXMNTConfig.ini", "QXMNTSerialConfig.ini"}, [&doc](char v) {
              doc.m_docAlarmSubject = std::string(300, v);
              doc.m_docAlarmTo = std::string(1, v) + "@example.org";
              return doc.WriteAlarmSettings();
            }};
  }
  if (name == "backup") {
    return {{"hall.log"}, [folder](char v) {
              BackupValues values;
              for (std::string& value : values)
                value = v == 'A' ? "0a" : v == 'B' ? "1b2c3d" : "2c";
              return WriteBackupFile(folder + "/hall.log", values);
            }};
  }
  return {};
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  const std::string folder = argv[2];
  ::setenv("TARNEX_CONFIG_DIR", folder.c_str(), 1);
  COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  const Kind kind = KindOf(argv[1], doc, folder);
  if (!kind.save) return 2;
  const std::string refs = folder + "/refs";
  if (!std::filesystem::exists(refs)) {
    std::filesystem::create_directory(refs);
    for (const char version : {'A', 'B'}) {
      if (!kind.save(version)) return 1;
      for (const std::string& file : kind.files) {
        std::ofstream(refs + "/" + version + "." + file, std::ios::binary)
            << Read(folder + "/" + file);
      }
    }
  }
  if (argc == 4) return kind.save('C') ? 0 : 1;
  std::puts("ready");
  std::fflush(stdout);
  for (char version = 'B';; version = version == 'A' ? 'B' : 'A') {
    if (!kind.save(version)) return 1;
  }
}

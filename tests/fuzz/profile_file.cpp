// A configuration file through the layer the console uses: any file on disk loads, and what
// is put and saved reads back, texts and integers alike.
#include "config/profile_file.h"
#include "fuzz_support.h"
#include "platform/private_profile.h"

using namespace tarnex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  static const fuzz::ScratchFile file("profile.ini");
  fuzz::Input input(data, size);
  const long long index = input.Byte();
  uint32_t bits = 0;
  for (int i = 0; i < 4; ++i) bits = bits << 8 | input.Byte();
  const auto number = static_cast<int>(bits);
  const std::string value(input.Field(64));
  file.Write(input.Rest());

  // The names the console writes: fixed sections, decimal indexes and plain keys.
  const char* section = "Display";
  std::string wanted = value.substr(0, value.find('\0'));
  {
    ProfileFile profile(file.Path());
    TARNEX_FUZZ_CHECK(profile.State() != ProfileState::kUnreadable);
    profile.Text(section, index);
    profile.Int(section, "Count");
    if (wanted.find_first_of("\r\n") != std::string::npos) {
      wanted.clear();
      profile.Put(section, index, "");
    } else {
      profile.Put(section, index, value);
    }
    profile.PutInt(section, "Count", number);
    TARNEX_FUZZ_CHECK(profile.Ok());
    TARNEX_FUZZ_CHECK(profile.Save());
  }
  const ProfileFile reread(file.Path());
  TARNEX_FUZZ_CHECK(reread.Text(section, index) == wanted);
  TARNEX_FUZZ_CHECK(reread.Int(section, "Count") == number);

  // The private-profile calls read the same file the same way.
  char buffer[128];
  const unsigned copied = GetPrivateProfileStringA(section, DecimalText(index).c_str(), "", buffer,
                                                   sizeof buffer, file.Path().c_str());
  TARNEX_FUZZ_CHECK(copied < sizeof buffer && std::string_view(buffer, copied) == wanted);
  TARNEX_FUZZ_CHECK(
      static_cast<int>(GetPrivateProfileIntA(section, "Count", 0, file.Path().c_str())) == number);
  // Section and key listings stay inside the buffer and end in two zero bytes.
  const unsigned listed =
      GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file.Path().c_str());
  TARNEX_FUZZ_CHECK(listed < sizeof buffer);
  return 0;
}

// Checks of the Windows-free units that need the Linux side: what no fuzz
// input can produce. Exit code 0 when every check holds.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "native_log.h"
#include "provision/edid_file.h"

int main() {
  int failed = 0;
  // A file that opens but cannot be read to the length it claims: sysfs
  // files say 4096 bytes and hold fewer. The read error is logged, the
  // content left alone, and the length returned.
  const std::string path = "/sys/devices/system/cpu/online";
  if (!std::filesystem::exists(path)) {
    std::printf("FAIL: %s is missing, so the read error cannot be produced here\n", path.c_str());
    return 1;
  }
  std::vector<std::uint8_t> content = {1, 2, 3};
  const std::int64_t count = ReadEdidFile(path, content);
  const std::string logged = TakeLoggedText();
  const bool ok = count == 4096 && content == std::vector<std::uint8_t>{1, 2, 3} &&
                  logged == "read edid " + path + " failed.";
  std::printf("%s read error after the open: count %lld, log \"%s\"\n", ok ? "ok  " : "FAIL",
              static_cast<long long>(count), logged.c_str());
  failed += ok ? 0 : 1;
  return failed == 0 ? 0 : 1;
}

// Checks of the Windows-free units that need the Linux side: what no fuzz
// input can produce. A check whose precondition this machine lacks (a chroot
// without /sys, say) is skipped with the reason; the others still run. Exit
// code 0 when no check failed.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "native_log.h"
#include "provision/edid_file.h"

namespace {

enum class Outcome { kOk, kFailed, kSkipped };

struct Result {
  Outcome outcome;
  std::string detail;  // what was seen, or why the check could not run
};

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A file that opens but cannot be read to the length it claims: sysfs files
// say 4096 bytes and hold fewer. The read error is logged, the content left
// alone, and the length returned. The command line may name another file.
std::string g_sysfsFile = "/sys/devices/system/cpu/online";
Result ReadErrorAfterTheOpen() {
  const std::string& path = g_sysfsFile;
  std::error_code error;
  if (!std::filesystem::exists(path, error))
    return {Outcome::kSkipped, path + " is missing, so the read error cannot be produced here"};
  std::vector<std::uint8_t> content = {1, 2, 3};
  const std::int64_t count = ReadEdidFile(path, content);
  const std::string logged = TakeLoggedText();
  const bool ok = count == 4096 && content == std::vector<std::uint8_t>{1, 2, 3} &&
                  logged == "read edid " + path + " failed.";
  return {ok ? Outcome::kOk : Outcome::kFailed,
          "count " + std::to_string(count) + ", log " + Quoted(logged)};
}

// The fuzz target feeds the reader's bytes in memory; this is the file read
// handing them on, once raw and once as hex text, with nothing logged.
Result FileContentReachesTheReader() {
  const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("dp-native-edid-" + std::to_string(getpid()) + ".bin");
  const std::string raw =
      std::string("\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00", 8) + std::string(120, '\x5A');
  const struct {
    std::string file;
    std::vector<std::uint8_t> want;
  } cases[] = {
      {raw, std::vector<std::uint8_t>(raw.begin(), raw.end())},
      {"00 ff\nFF 00\n", {0x00, 0xFF, 0xFF, 0x00}},
  };
  std::string detail;
  bool ok = true;
  for (const auto& c : cases) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << c.file;
    std::vector<std::uint8_t> content = {9};
    const std::int64_t count = ReadEdidFile(path.string(), content);
    const std::string logged = TakeLoggedText();
    const bool same =
        content == c.want && count == static_cast<std::int64_t>(c.want.size()) && logged.empty();
    ok = ok && same;
    detail += (detail.empty() ? "" : ", ") + std::to_string(c.file.size()) + " bytes: count " +
              std::to_string(count) +
              (same ? "" : " (wrong content or log " + Quoted(logged) + ")");
  }
  std::filesystem::remove(path);
  return {ok ? Outcome::kOk : Outcome::kFailed, detail};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_sysfsFile = argv[1];
  const struct {
    const char* name;
    Result (*run)();
  } checks[] = {
      {"read error after the open", &ReadErrorAfterTheOpen},
      {"file content reaches the reader", &FileContentReachesTheReader},
  };
  int ok = 0, failed = 0, skipped = 0;
  for (const auto& check : checks) {
    const Result r = check.run();
    const char* label = r.outcome == Outcome::kOk       ? "ok  "
                        : r.outcome == Outcome::kFailed ? "FAIL"
                                                        : "skip";
    std::printf("%s %s: %s\n", label, check.name, r.detail.c_str());
    (r.outcome == Outcome::kOk ? ok : r.outcome == Outcome::kFailed ? failed : skipped) += 1;
  }
  std::printf("native checks: %d ok, %d skipped, %d failed\n", ok, skipped, failed);
  return failed == 0 ? 0 : 1;
}

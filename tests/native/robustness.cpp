// Native (Linux) robustness run of the units that need no Windows call: the
// log formatter, the EDID hex reader and name edit, the profile-name parser
// and the EDID generator, fed many deterministic pseudo-random inputs under
// AddressSanitizer and UndefinedBehaviorSanitizer. Any out-of-bounds access,
// overflow or leak stops the run; the checks below catch wrong answers.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "edidgen.h"
#include "log/log.h"
#include "log/log_format.h"
#include "provision/edid_codec.h"
#include "provision/edid_file.h"
#include "provision/profile_name.h"

namespace {

int failures = 0;
std::size_t logged = 0;

#define CHECK(cond)                                                                 \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      ++failures;                                                                   \
    }                                                                               \
  } while (0)

std::string Narrow(const wchar_t* text, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i) out += text[i] < 0x80 ? char(text[i]) : '?';
  return out;
}

std::string Format(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatLogText(format, args, &Narrow);
  va_end(args);
  return text;
}

void LogFormatting(std::mt19937& rng) {
  const std::wstring wide(5000, L'w');
  const std::string narrow(5000, 'n');
  for (int i = 0; i < 2000; ++i) {
    const int width = int(rng() % 3000);
    const int precision = int(rng() % 3000);
    const std::string directive = "%" + std::to_string(width) + "." + std::to_string(precision);
    std::string a = Format((directive + "s|%ws|%d").c_str(), narrow.c_str(),
                           wide.c_str() + rng() % 5000, int(rng()));
    std::string b = Format(("%-" + std::to_string(width) + "ls%zu%lu%ld%%").c_str(), wide.c_str(),
                           std::size_t(rng()), (unsigned long)rng(), (long)rng());
    CHECK(a.size() <= 2047 && b.size() <= 2047);
  }
  CHECK(Format("%s", narrow.c_str()).size() == 2047);
  CHECK(Format(nullptr).empty());
}

std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (auto& b : bytes) b = std::uint8_t(rng());
  return bytes;
}

void EdidCodec(std::mt19937& rng) {
  for (int i = 0; i < 5000; ++i) {
    const auto bytes = RandomBytes(rng, rng() % 700);
    const auto decoded =
        DecodeEdidHexText(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    CHECK(decoded.size() <= bytes.size() / 2);

    std::vector<std::uint8_t> block = RandomBytes(rng, 128 * (rng() % 3));
    if (block.size() >= 128 && rng() % 2) {
      const std::size_t slot = 54 + 18 * (rng() % 4);
      block[slot] = block[slot + 1] = block[slot + 2] = 0;
      block[slot + 3] = 0xFC;
    }
    const std::string name(rng() % 40, char('A' + rng() % 26));
    const std::vector<std::uint8_t> before = block;
    if (SetEdidMonitorName(block, name.c_str()) == 1) {
      unsigned sum = 0;
      for (int k = 0; k < 128; ++k) sum += block[k];
      CHECK(sum % 256 == 0);
      CHECK(std::equal(block.begin() + 128, block.end(), before.begin() + 128));
    } else {
      CHECK(block == before);
    }
  }
}

void EdidFiles(std::mt19937& rng) {
  const auto dir = std::filesystem::temp_directory_path() / "dp-native-robustness";
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "profile.hex").string();
  for (std::size_t size : {std::size_t(0), std::size_t(127), std::size_t(128), std::size_t(544),
                           std::size_t(1 << 20), std::size_t((1 << 20) + 1)}) {
    const auto bytes = RandomBytes(rng, size);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    std::vector<std::uint8_t> content;
    const std::int64_t count = ReadEdidFile(path, content);
    if (size > std::size_t(kMaxEdidFileSize)) CHECK(content.empty());
    if (size == 128) CHECK(count == 128 && content == bytes);
  }
  std::vector<std::uint8_t> content;
  CHECK(ReadEdidFile((dir / "missing.hex").string(), content) == 0);
  std::filesystem::remove_all(dir);
}

void ProfileNames(std::mt19937& rng) {
  const char alphabet[] = "0123456789xX.hexHEX_ -9";
  for (int i = 0; i < 20000; ++i) {
    std::string name;
    for (std::size_t n = rng() % 40; n > 0; --n) name += alphabet[rng() % (sizeof alphabet - 1)];
    EdidProfile profile;
    if (ParseProfileName(name, profile) == ProfileNameMatch::kMatch) {
      const ProfileDistance d =
          ComputeProfileDistance(profile, int32_t(rng()), int32_t(rng()), int32_t(rng()));
      CHECK(!ToString(d).empty());
    }
  }
  EdidProfile p;
  CHECK(ParseProfileName("99999999999999999999x1x1.hex", p) == ProfileNameMatch::kOutOfRange);
}

void Generator(std::mt19937& rng) {
  for (int i = 0; i < 2000; ++i) {
    const edidgen::Mode mode{std::uint32_t(rng() % 9000), std::uint32_t(rng() % 9000),
                             std::uint32_t(rng() % 600)};
    const edidgen::Result r = edidgen::GenerateEdid(mode, std::string(rng() % 30, 'N'));
    if (r.ok) {
      unsigned sum = 0;
      for (auto b : r.block) sum += b;
      CHECK(r.block.size() == 128 && sum % 256 == 0);
    } else {
      CHECK(!r.error.empty());
    }
  }
}

}  // namespace

// The program's LogMessage, natively: the same formatting, counted only.
void LogMessage(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  logged += FormatLogText(format, args, &Narrow).size();
  va_end(args);
}

std::string FormatLogString(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatLogText(format, args, &Narrow);
  va_end(args);
  return text;
}

int main() {
  std::mt19937 rng(20261208);
  LogFormatting(rng);
  EdidCodec(rng);
  EdidFiles(rng);
  ProfileNames(rng);
  Generator(rng);
  std::printf("native robustness: %d failed checks, %zu bytes of log text formatted\n", failures,
              logged);
  return failures == 0 && logged > 0 ? 0 : 1;
}

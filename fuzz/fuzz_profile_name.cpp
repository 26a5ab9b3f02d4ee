// Profile names and distances: a name is a profile exactly when it is
// digits, x, digits, x, digits, ".hex" with every number fitting 32 signed
// bits, and the distance is the exact sum of the three squared differences.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <regex>
#include <string>

#include "fuzz_check.h"
#include "provision/profile_name.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::int32_t w = in.ConsumeIntegral<std::int32_t>();
  const std::int32_t h = in.ConsumeIntegral<std::int32_t>();
  const std::int32_t f = in.ConsumeIntegral<std::int32_t>();
  // A file name: at most 255 characters on every Windows file system.
  const std::string name = in.ConsumeRandomLengthString(255);

  EdidProfile profile;
  const ProfileNameMatch match = ParseProfileName(name, profile);
  static const std::regex pattern(R"((\d+)x(\d+)x(\d+)\.hex)");
  std::smatch groups;
  const bool shaped = std::regex_match(name, groups, pattern);
  FUZZ_CHECK(shaped == (match != ProfileNameMatch::kNoMatch));
  if (!shaped) return 0;
  bool fits = true;
  for (int i = 1; i <= 3; ++i) {
    const std::string digits = groups[i].str();
    const std::size_t first = digits.find_first_not_of('0');
    const std::string significant = first == std::string::npos ? "0" : digits.substr(first);
    fits = fits &&
           (significant.size() < 10 || (significant.size() == 10 && significant <= "2147483647"));
  }
  FUZZ_CHECK(fits == (match == ProfileNameMatch::kMatch));
  if (match != ProfileNameMatch::kMatch) return 0;

  const std::int32_t parsed[3] = {profile.width, profile.height, profile.fps};
  for (int i = 0; i < 3; ++i) {
    // Leading zeros allowed; the value is the decimal number.
    const std::string digits = groups[i + 1].str();
    long long value = 0;
    for (char c : digits) value = value * 10 + (c - '0');
    FUZZ_CHECK(value == parsed[i]);
  }
  FUZZ_CHECK(profile.name == name);

  const ProfileDistance d = ComputeProfileDistance(profile, w, h, f);
  unsigned __int128 want = 0;
  for (auto [a, b] : {std::pair{profile.width, w}, {profile.height, h}, {profile.fps, f}}) {
    const __int128 diff = static_cast<__int128>(a) - b;
    want += static_cast<unsigned __int128>(diff * diff);
  }
  const unsigned __int128 got = (static_cast<unsigned __int128>(d.high) << 64) | d.low;
  FUZZ_CHECK(got == want);
  FUZZ_CHECK(!ToString(d).empty());
  return 0;
}

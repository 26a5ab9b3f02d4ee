#include "provision/profile_name.h"

#include <array>
#include <charconv>
#include <regex>

namespace {

bool ToInt32(const std::string& digits, std::int32_t& value) {
  const char* end = digits.data() + digits.size();
  auto [ptr, ec] = std::from_chars(digits.data(), end, value, 10);
  return ec == std::errc() && ptr == end;
}

std::uint64_t Square(std::int32_t a, std::int32_t b) {
  const std::int64_t difference = std::int64_t{a} - std::int64_t{b};
  const std::uint64_t magnitude =
      difference < 0 ? std::uint64_t(-difference) : std::uint64_t(difference);
  return magnitude * magnitude;  // magnitude < 2^32, so no wrap
}

}  // namespace

std::string ToString(const ProfileDistance& distance) {
  if (distance.high == 0) return std::to_string(distance.low);
  // Long division by 10 over 32-bit limbs, most significant first.
  std::array<std::uint64_t, 4> limbs = {distance.high >> 32, distance.high & 0xFFFFFFFFu,
                                        distance.low >> 32, distance.low & 0xFFFFFFFFu};
  std::string digits;
  bool nonZero = true;
  while (nonZero) {
    std::uint64_t remainder = 0;
    nonZero = false;
    for (std::uint64_t& limb : limbs) {
      const std::uint64_t current = (remainder << 32) | limb;
      limb = current / 10;
      remainder = current % 10;
      nonZero = nonZero || limb != 0;
    }
    digits.insert(digits.begin(), static_cast<char>('0' + remainder));
  }
  return digits;
}

ProfileNameMatch ParseProfileName(const std::string& name, EdidProfile& profile) {
  try {
    // ECMAScript grammar, case-sensitive; built once for the whole process.
    static const std::regex pattern(R"((\d+)x(\d+)x(\d+)\.hex)");
    std::smatch groups;
    if (!std::regex_match(name, groups, pattern)) return ProfileNameMatch::kNoMatch;
    EdidProfile parsed;
    if (!ToInt32(groups[1].str(), parsed.width) || !ToInt32(groups[2].str(), parsed.height) ||
        !ToInt32(groups[3].str(), parsed.fps)) {
      return ProfileNameMatch::kOutOfRange;
    }
    parsed.name = name;
    profile = parsed;
    return ProfileNameMatch::kMatch;
  } catch (...) {
    // The regex engine may give up on a pathological name; such a name is
    // no profile, and the scan goes on.
    return ProfileNameMatch::kNoMatch;
  }
}

ProfileDistance ComputeProfileDistance(const EdidProfile& profile, std::int32_t width,
                                       std::int32_t height, std::int32_t fps) {
  ProfileDistance sum;
  for (std::uint64_t square :
       {Square(profile.width, width), Square(profile.height, height), Square(profile.fps, fps)}) {
    sum.low += square;
    if (sum.low < square) ++sum.high;  // carried out of the low word
  }
  return sum;
}

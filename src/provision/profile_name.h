// Reading a mode out of an EDID profile's file name and scoring it against the
// wanted mode. No Windows header: this builds natively too.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

// Sum of three squared differences, kept exact. Each difference of two 32-bit
// values fits 33 bits, so each square fits 64 bits but the sum can carry into
// a second word; `high` counts those carries (at most 2).
struct ProfileDistance {
  std::uint64_t high = 0;
  std::uint64_t low = 0;
  auto operator<=>(const ProfileDistance&) const = default;
};

// Decimal text of the distance, as the log shows it.
std::string ToString(const ProfileDistance& distance);

// One directory entry whose name states a mode.
struct EdidProfile {
  std::string name;  // file name without directory
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t fps = 0;
  ProfileDistance distance;
};

enum class ProfileNameMatch {
  kNoMatch,     // the whole name is not "(\d+)x(\d+)x(\d+)\.hex"
  kOutOfRange,  // it is, but a number does not fit a signed 32-bit integer
  kMatch,
};

// Matches the whole name, case-sensitively, and on kMatch fills name, width,
// height and fps (base 10, leading zeros allowed). Never throws.
ProfileNameMatch ParseProfileName(const std::string& name, EdidProfile& profile);

// (width - wanted width)^2 + (height - wanted height)^2 + (fps - wanted fps)^2.
ProfileDistance ComputeProfileDistance(const EdidProfile& profile, std::int32_t width,
                                       std::int32_t height, std::int32_t fps);

#include "sim/virtual_edid.h"

#include <cstdio>

namespace sim {

namespace {

constexpr std::size_t kBlock = 128;
constexpr std::size_t kSlots[] = {54, 72, 90, 108};
constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};

bool Refuse(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

}  // namespace

bool ParseVirtualDisplayEdid(const std::vector<std::uint8_t>& content, VirtualDisplaySpec* shown,
                             std::string* error) {
  if (content.size() < kBlock) {
    return Refuse(error,
                  "only " + std::to_string(content.size()) + " bytes, an EDID base block has 128");
  }
  const std::uint8_t* b = content.data();
  for (std::size_t i = 0; i < 8; ++i) {
    if (b[i] != kHeader[i])
      return Refuse(error, "the EDID header (00 FF FF FF FF FF FF 00) is missing");
  }
  unsigned sum = 0;
  for (std::size_t i = 0; i < kBlock; ++i) sum += b[i];
  if (sum % 256 != 0) {
    char text[80];
    std::snprintf(text, sizeof text,
                  "the base block's checksum is wrong (the bytes sum to %u mod 256)", sum % 256);
    return Refuse(error, text);
  }

  const std::uint8_t* t = b + kSlots[0];
  const std::uint32_t clock10kHz = t[0] | (t[1] << 8);
  if (clock10kHz == 0) return Refuse(error, "descriptor slot 1 holds no detailed timing");
  const std::uint32_t hActive = t[2] | ((t[4] & 0xF0u) << 4);
  const std::uint32_t hBlank = t[3] | ((t[4] & 0x0Fu) << 8);
  const std::uint32_t vActive = t[5] | ((t[7] & 0xF0u) << 4);
  const std::uint32_t vBlank = t[6] | ((t[7] & 0x0Fu) << 8);
  if (hActive == 0 || vActive == 0) {
    return Refuse(error, "the preferred timing has no active pixels or lines");
  }
  const std::uint64_t totalPixels =
      static_cast<std::uint64_t>(hActive + hBlank) * static_cast<std::uint64_t>(vActive + vBlank);
  const std::uint64_t clockHz = static_cast<std::uint64_t>(clock10kHz) * 10000;
  const std::uint32_t refresh =
      static_cast<std::uint32_t>((clockHz + totalPixels / 2) / totalPixels);
  if (refresh == 0) return Refuse(error, "the preferred timing's refresh rate rounds to 0 Hz");

  for (std::size_t slot : kSlots) {
    const std::uint8_t* d = b + slot;
    if (d[0] != 0 || d[1] != 0 || d[2] != 0 || d[3] != 0xFC) continue;
    std::string name;
    for (std::size_t i = 5; i < 18 && d[i] != 0x0A; ++i) name += static_cast<char>(d[i]);
    if (name.empty()) return Refuse(error, "the monitor-name descriptor holds an empty name");
    shown->name = name;
    shown->width = hActive;
    shown->height = vActive;
    shown->refreshHz = refresh;
    return true;
  }
  return Refuse(error, "no monitor-name descriptor (tag FC) in the base block");
}

}  // namespace sim

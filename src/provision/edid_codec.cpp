#include "provision/edid_codec.h"

#include <string>

#include "log/log.h"

namespace {

constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::size_t kNameOffset = 5;  // within the 18-byte descriptor
constexpr std::uint8_t kNameEnd = 0x0A;

}  // namespace

void UpdateEdidChecksum(std::uint8_t* block) {
  unsigned sum = 0;
  for (std::size_t i = 0; i + 1 < kEdidBlockSize; ++i) sum += block[i];
  block[kEdidBlockSize - 1] = static_cast<std::uint8_t>((256 - sum % 256) % 256);
}

int SetEdidMonitorName(std::vector<std::uint8_t>& content, const char* monitorname) {
  if (monitorname == nullptr || content.size() < kEdidBlockSize) return 0;
  std::uint8_t* block = content.data();

  bool headerMatches = true;
  for (std::size_t i = 0; i < sizeof kHeader; ++i)
    headerMatches = headerMatches && block[i] == kHeader[i];
  if (!headerMatches) {
    LogMessage("first bytes don't match EDID version 1 header");
    LogMessage("do not trust output (if any).");
  }

  const int slot = FindDisplayDescriptor(block, kMonitorNameTag);
  if (slot < 0) return 0;
  std::uint8_t* descriptor = block + kDescriptorSlots[slot];
  LogMessage("edid's monitor name is %s.\n", DescriptorText(descriptor).c_str());

  std::uint8_t* field = descriptor + kNameOffset;

  // A longer name is cut so that name and 0A stay inside the 13-byte field.
  std::size_t length = 0;
  while (length < kMaxMonitorNameLength && monitorname[length] != '\0') ++length;
  const std::string newName(monitorname, length);
  for (std::size_t i = 0; i < length; ++i) field[i] = static_cast<std::uint8_t>(newName[i]);
  field[length] = kNameEnd;
  LogMessage("edid's monitor name change to %s.\n", newName.c_str());

  UpdateEdidChecksum(block);
  return 1;
}

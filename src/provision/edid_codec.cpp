#include "provision/edid_codec.h"

#include <string>

#include "log/log.h"

namespace {

constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::size_t kDescriptorSlots[4] = {54, 72, 90, 108};
constexpr std::size_t kNameOffset = 5;  // within the 18-byte descriptor
constexpr std::size_t kNameFieldSize = 13;
constexpr std::uint8_t kNameTag = 0xFC;
constexpr std::uint8_t kNameEnd = 0x0A;

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool IsRawEdidLength(std::int64_t length) {
  return length > 0 && length % static_cast<std::int64_t>(kEdidBlockSize) == 0;
}

std::uint8_t HexDigitValue(char c) {
  const std::uint8_t code = static_cast<std::uint8_t>(c);
  return code > '9' ? static_cast<std::uint8_t>((code & ~0x20) - 55)
                    : static_cast<std::uint8_t>(code - 48);
}

std::vector<std::uint8_t> DecodeEdidHexText(const char* text, std::size_t size) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(size / 2);
  bool haveHigh = false;
  std::uint8_t high = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (IsAsciiSpace(text[i])) continue;
    const std::uint8_t value = HexDigitValue(text[i]);
    if (!haveHigh) {
      high = value;
      haveHigh = true;
    } else {
      bytes.push_back(static_cast<std::uint8_t>((high << 4) | value));
      haveHigh = false;
    }
  }
  return bytes;
}

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

  std::uint8_t* descriptor = nullptr;
  for (std::size_t slot : kDescriptorSlots) {
    std::uint8_t* d = block + slot;
    if (d[0] == 0 && d[1] == 0 && d[2] == 0 && d[3] == kNameTag) {
      descriptor = d;
      break;
    }
  }
  if (descriptor == nullptr) return 0;

  std::uint8_t* field = descriptor + kNameOffset;
  std::string oldName;
  for (std::size_t i = 0; i < kNameFieldSize && field[i] != kNameEnd; ++i) {
    oldName += static_cast<char>(field[i]);
  }
  LogMessage("edid's monitor name is %s.\n", oldName.c_str());

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

#include "provision/edid_form.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace {

constexpr std::uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr std::size_t kNameOffset = 5;  // within the 18-byte descriptor
constexpr std::size_t kTextFieldSize = 13;
constexpr std::string_view kEdidDecodeHeading = "edid-decode (hex):";

bool IsAsciiSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool StartsWithHeader(const void* data, std::size_t size) {
  return size >= sizeof kHeader && std::memcmp(data, kHeader, sizeof kHeader) == 0;
}

// The characters of a text file. regedit writes UTF-16 with a byte-order
// mark; that is narrowed here, a character outside ASCII (which none of the
// forms needs) becoming '?'.
// The file as ASCII text; `marked`: it began with a byte-order mark (UTF-16
// little-endian, as regedit and Notepad's "Unicode" write, or UTF-8, as
// Notepad writes by default).
std::string_view AsText(const char* data, std::size_t size, std::string& narrowed, bool& marked) {
  const auto* u = reinterpret_cast<const unsigned char*>(data);
  const bool utf8 = size >= 3 && u[0] == 0xEF && u[1] == 0xBB && u[2] == 0xBF;
  const bool utf16 = size >= 2 && u[0] == 0xFF && u[1] == 0xFE;
  marked = utf8 || utf16;
  if (utf8) return {data + 3, size - 3};
  if (!utf16) return {data, size};
  narrowed.reserve(size / 2);
  for (std::size_t i = 2; i + 1 < size; i += 2) {
    const unsigned unit = u[i] | (u[i + 1] << 8);
    narrowed += unit < 0x80 ? static_cast<char>(unit) : '?';
  }
  return narrowed;
}

EdidForm ClassifyText(std::string_view text, bool marked) {
  if (text.find(kEdidDecodeHeading) != std::string_view::npos) return EdidForm::kEdidDecodeReport;
  const std::size_t first = text.find_first_not_of(" \t\r\n");
  const std::string_view start = first == std::string_view::npos ? "" : text.substr(first);
  if (start.starts_with("Windows Registry Editor Version 5.00") || start.starts_with("REGEDIT4"))
    return EdidForm::kRegistryExport;
  if (text.find("hex:") != std::string_view::npos) return EdidForm::kRegistryValue;
  if (text.find("0x") != std::string_view::npos || text.find("0X") != std::string_view::npos)
    return EdidForm::kCArray;
  // Behind a byte-order mark, hex text is not what the reader reads: it
  // would take the mark for digits.
  const bool hex = std::all_of(text.begin(), text.end(),
                               [](char c) { return IsHexDigit(c) || IsAsciiSpace(c); });
  if (!hex) return EdidForm::kUnknown;
  return marked ? EdidForm::kMarkedHexText : EdidForm::kHexText;
}

std::uint8_t PairValue(char high, char low) {
  return static_cast<std::uint8_t>((HexDigitValue(high) << 4) | HexDigitValue(low));
}

// A line of blank-separated two-digit bytes ("00 ff ff ..."), appended to
// `bytes`; false, appending nothing, for any other line.
bool ParseSpacedBytes(std::string_view line, std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint8_t> found;
  std::size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t') {
      ++i;
      continue;
    }
    if (i + 1 >= line.size() || !IsHexDigit(line[i]) || !IsHexDigit(line[i + 1])) return false;
    if (i + 2 < line.size() && line[i + 2] != ' ' && line[i + 2] != '\t') return false;
    found.push_back(PairValue(line[i], line[i + 1]));
    i += 2;
  }
  bytes.insert(bytes.end(), found.begin(), found.end());
  return !found.empty();
}

// The dump under the heading: lines of 16 bytes, a blank line between
// blocks; the report's first other line ends it.
void TakeEdidDecodeDump(std::string_view text, EdidInFile& found) {
  std::size_t pos = text.find('\n', text.find(kEdidDecodeHeading));
  while (pos != std::string_view::npos && pos < text.size()) {
    const std::size_t end = std::min(text.find('\n', pos + 1), text.size());
    std::string_view line = text.substr(pos + 1, end - pos - 1);
    pos = end;
    while (!line.empty() && IsAsciiSpace(line.back())) line.remove_suffix(1);
    if (line.empty()) continue;
    if (!ParseSpacedBytes(line, found.bytes)) break;
  }
  if (found.bytes.empty()) found.problem = "no hex dump under its \"edid-decode (hex):\" heading";
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);
         });
}

// Binary values, "name"=hex:00,ff,... with lines continued by a backslash.
// The value named EDID is taken (the one Windows keeps a monitor's EDID in),
// or else the only binary value there is.
void TakeRegistryValue(std::string_view text, EdidInFile& found) {
  struct Value {
    bool named;
    std::vector<std::uint8_t> bytes;
    bool malformed = false;
  };
  std::vector<Value> values;
  for (std::size_t at = text.find("hex:"); at != std::string_view::npos;
       at = text.find("hex:", at + 4)) {
    const std::size_t lineStart =
        text.rfind('\n', at) == std::string_view::npos ? 0 : text.rfind('\n', at) + 1;
    std::string_view before = text.substr(lineStart, at - lineStart);
    while (!before.empty() && (before.front() == ' ' || before.front() == '\t'))
      before.remove_prefix(1);
    Value v{EqualsIgnoringCase(before, "\"EDID\"="), {}};
    std::size_t i = at + 4;
    while (i < text.size()) {
      const char c = text[i];
      if (c == ' ' || c == '\t' || c == ',') {
        ++i;
      } else if (c == '\\') {  // continued on the next line
        i = text.find('\n', i);
        if (i == std::string_view::npos) break;
        ++i;
      } else if (c == '\r' || c == '\n') {
        break;
      } else if (i + 1 < text.size() && IsHexDigit(c) && IsHexDigit(text[i + 1])) {
        v.bytes.push_back(PairValue(c, text[i + 1]));
        i += 2;
      } else {
        v.malformed = true;
        break;
      }
    }
    values.push_back(std::move(v));
  }
  const bool anyNamed =
      std::any_of(values.begin(), values.end(), [](const Value& v) { return v.named; });
  std::erase_if(values, [anyNamed](const Value& v) { return anyNamed && !v.named; });
  if (values.empty()) {
    found.problem = "no binary value (hex:) in it";
  } else if (values.size() > 1) {
    found.problem = std::to_string(values.size()) +
                    (anyNamed ? " values named EDID" : " binary values") +
                    ": keep only the one of the monitor";
  } else if (values[0].malformed) {
    found.problem = "its value is not two-digit bytes separated by commas";
  } else {
    found.bytes = std::move(values[0].bytes);
  }
}

// Every 0x number in order; each must fit a byte.
void TakeCArray(std::string_view text, EdidInFile& found) {
  for (std::size_t i = 0; i + 2 < text.size(); ++i) {
    if (text[i] != '0' || (text[i + 1] | 0x20) != 'x') continue;
    if (i > 0 && (std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '_'))
      continue;
    std::size_t end = i + 2;
    while (end < text.size() && IsHexDigit(text[end])) ++end;
    if (end - i - 2 > 2) {
      found.problem = "the number " + std::string(text.substr(i, end - i)) + " is not one byte";
      found.bytes.clear();
      return;
    }
    if (end == i + 3) {
      found.bytes.push_back(HexDigitValue(text[i + 2]));
    } else if (end == i + 4) {
      found.bytes.push_back(PairValue(text[i + 2], text[i + 3]));
    }
    i = end - 1;
  }
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

const char* EdidFormName(EdidForm form) {
  switch (form) {
    case EdidForm::kRaw:
      return "raw";
    case EdidForm::kHexText:
      return "hex text";
    case EdidForm::kMarkedHexText:
      return "hex text behind a byte-order mark";
    case EdidForm::kRegistryExport:
      return "a registry export";
    case EdidForm::kRegistryValue:
      return "a registry value";
    case EdidForm::kCArray:
      return "a C array";
    case EdidForm::kEdidDecodeReport:
      return "an edid-decode report";
    case EdidForm::kUnknown:
      break;
  }
  return "neither raw EDID bytes nor hex text";
}

EdidForm RecogniseEdidForm(const char* data, std::size_t size) {
  if (StartsWithHeader(data, size)) return EdidForm::kRaw;
  std::string narrowed;
  bool marked = false;
  // Two statements: the mark is known only once the text is.
  const std::string_view text = AsText(data, size, narrowed, marked);
  return ClassifyText(text, marked);
}

std::int64_t ReadEdidBytes(const char* data, std::size_t size, std::vector<std::uint8_t>& content) {
  const auto length = static_cast<std::int64_t>(size);
  // Hex text can have a raw length too (16 bytes a line, as edid-decode
  // writes it), but never starts with the header's 00 byte.
  if (IsRawEdidLength(length) && RecogniseEdidForm(data, size) == EdidForm::kRaw) {
    content.assign(data, data + size);
    return length;
  }
  content = DecodeEdidHexText(data, size);
  return static_cast<std::int64_t>(content.size());
}

EdidInFile FindEdidInFile(const char* data, std::size_t size) {
  EdidInFile found;
  found.form = RecogniseEdidForm(data, size);
  std::string narrowed;
  bool marked = false;
  const std::string_view text = AsText(data, size, narrowed, marked);
  switch (found.form) {
    case EdidForm::kRaw:
      found.bytes.assign(data, data + size);
      break;
    case EdidForm::kHexText:
      found.bytes = DecodeEdidHexText(data, size);
      break;
    case EdidForm::kMarkedHexText:
      found.bytes = DecodeEdidHexText(text.data(), text.size());
      break;
    case EdidForm::kRegistryExport:
    case EdidForm::kRegistryValue:
      TakeRegistryValue(text, found);
      break;
    case EdidForm::kCArray:
      TakeCArray(text, found);
      break;
    case EdidForm::kEdidDecodeReport:
      TakeEdidDecodeDump(text, found);
      break;
    case EdidForm::kUnknown:
      break;
  }
  return found;
}

std::string EdidProblem(const std::vector<std::uint8_t>& bytes) {
  if (!IsRawEdidLength(static_cast<std::int64_t>(bytes.size())))
    return std::to_string(bytes.size()) + " bytes, not whole 128-byte blocks";
  if (!StartsWithHeader(bytes.data(), bytes.size()))
    return "the header is not 00 FF FF FF FF FF FF 00";
  unsigned sum = 0;
  for (std::size_t i = 0; i < kEdidBlockSize; ++i) sum += bytes[i];
  if (sum % 256 != 0) return "the base block's checksum is wrong";
  return {};
}

int FindDisplayDescriptor(const std::uint8_t* block, std::uint8_t tag, int from) {
  for (int slot = std::max(from, 0); slot < 4; ++slot) {
    const std::uint8_t* d = block + kDescriptorSlots[slot];
    if (d[0] == 0 && d[1] == 0 && d[2] == 0 && d[3] == tag) return slot;
  }
  return -1;
}

std::string DescriptorText(const std::uint8_t* descriptor) {
  std::string text;
  const std::uint8_t* field = descriptor + kNameOffset;
  for (std::size_t i = 0; i < kTextFieldSize && field[i] != 0x0A && field[i] != 0; ++i)
    text += static_cast<char>(field[i]);
  return text;
}

int SlotForMonitorName(const std::uint8_t* block) {
  const int dummy = FindDisplayDescriptor(block, kDummyTag);
  return dummy >= 0 ? dummy : FindDisplayDescriptor(block, kTextTag);
}

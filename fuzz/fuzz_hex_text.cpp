// The hex text parser: white space skipped anywhere, every other character a
// digit by the written rule, pairs make bytes, a lone digit at the end dropped.
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "provision/edid_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const std::vector<std::uint8_t> bytes = DecodeEdidHexText(text, size);
  std::vector<char> digits;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r') continue;
    digits.push_back(c);
  }
  FUZZ_CHECK(bytes.size() == digits.size() / 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t hi = HexDigitValue(digits[2 * i]);
    const std::uint8_t lo = HexDigitValue(digits[2 * i + 1]);
    FUZZ_CHECK(bytes[i] == static_cast<std::uint8_t>((hi << 4) | lo));
  }
  // The digit rule itself, for true hex digits.
  for (char c : digits) {
    const std::uint8_t v = HexDigitValue(c);
    if (c >= '0' && c <= '9') FUZZ_CHECK(v == c - '0');
    if (c >= 'A' && c <= 'F') FUZZ_CHECK(v == c - 'A' + 10);
    if (c >= 'a' && c <= 'f') FUZZ_CHECK(v == c - 'a' + 10);
  }
  return 0;
}

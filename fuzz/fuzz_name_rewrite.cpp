// The monitor-name rewrite over any content and name: either the name and 0A
// stand at the start of the first name descriptor's field of the base block
// and the block's checksum is valid, or nothing changed; bytes beyond the
// base block never change.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "native_log.h"
#include "provision/edid_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string raw = in.ConsumeRandomLengthString(24);
  const std::string name = raw.substr(0, raw.find('\0'));
  std::vector<std::uint8_t> content = in.ConsumeRemainingBytes<std::uint8_t>();
  const std::vector<std::uint8_t> before = content;

  const int result = SetEdidMonitorName(content, name.c_str());
  TakeLoggedText();
  FUZZ_CHECK(content.size() == before.size());
  if (result == 0) {
    FUZZ_CHECK(content == before);
    return 0;
  }
  FUZZ_CHECK(result == 1 && content.size() >= 128);
  unsigned sum = 0;
  for (int i = 0; i < 128; ++i) sum += content[i];
  FUZZ_CHECK(sum % 256 == 0);
  FUZZ_CHECK(std::equal(content.begin() + 128, content.end(), before.begin() + 128));
  // The first slot whose bytes 0, 1, 2 are 0 and 3 is FC holds the name.
  std::size_t slot = 0;
  for (std::size_t s : {54u, 72u, 90u, 108u}) {
    if (before[s] == 0 && before[s + 1] == 0 && before[s + 2] == 0 && before[s + 3] == 0xFC) {
      slot = s;
      break;
    }
  }
  FUZZ_CHECK(slot != 0);
  const std::size_t length = std::min<std::size_t>(name.size(), 12);
  for (std::size_t i = 0; i < length; ++i)
    FUZZ_CHECK(content[slot + 5 + i] == static_cast<std::uint8_t>(name[i]));
  FUZZ_CHECK(content[slot + 5 + length] == 0x0A);
  // Everything else of the block but the checksum is as it was.
  for (std::size_t i = 0; i < 127; ++i) {
    if (i >= slot + 5 && i <= slot + 5 + length) continue;
    FUZZ_CHECK(content[i] == before[i]);
  }
  return 0;
}

// The EDID file reader over any file content, in memory (the file read hands
// its bytes to the same entry): a positive multiple of 128 bytes that starts
// with the EDID header is taken raw, anything else as hex text, the count says
// how many bytes were placed, and nothing is logged. What the pre-flight check
// calls readable is what the reader reads, and an import is always a named
// EDID, or a refusal in one line.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "import.h"
#include "native_log.h"
#include "provision/edid_codec.h"
#include "provision/edid_file.h"
#include "provision/profile_facts.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  // Left over from an earlier read: the content is replaced, never added to.
  std::vector<std::uint8_t> content = {0xEE};
  const std::int64_t count = ReadEdidBytes(text, size, content);
  FUZZ_CHECK(TakeLoggedText().empty());
  const std::uint8_t header[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
  if (size > 0 && size % 128 == 0 && std::equal(header, header + 8, data)) {
    FUZZ_CHECK(count == static_cast<std::int64_t>(size));
    FUZZ_CHECK(content == std::vector<std::uint8_t>(data, data + size));
  } else {
    FUZZ_CHECK(content == DecodeEdidHexText(text, size));
    FUZZ_CHECK(count == static_cast<std::int64_t>(content.size()));
  }

  const ProfileFacts facts = DescribeProfile(text, size);
  if (facts.readable) FUZZ_CHECK(facts.blocks > 0 && facts.blocks * 128 == content.size());
  const edidgen::Imported imported = edidgen::ImportEdid(text, size);
  if (imported.ok) {
    const std::vector<std::uint8_t>& e = imported.edid;
    FUZZ_CHECK(EdidProblem(e).empty());
    const int slot = FindDisplayDescriptor(e.data(), kMonitorNameTag);
    FUZZ_CHECK(slot >= 0 && DescriptorText(&e[kDescriptorSlots[slot]]) == "TovikMonitor");
    FUZZ_CHECK(FindDisplayDescriptor(e.data(), kMonitorNameTag, slot + 1) < 0);
  } else {
    FUZZ_CHECK(!imported.error.empty() && imported.error.find('\n') == std::string::npos);
  }
  return 0;
}

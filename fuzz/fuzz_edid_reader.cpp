// The EDID file reader over any file content: a positive multiple of 128
// bytes is taken raw, anything else as hex text, and the count says how many
// bytes were placed.
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "native_log.h"
#include "provision/edid_codec.h"
#include "provision/edid_file.h"

namespace {
const std::string& FilePath() {
  static const std::string path = "/tmp/dp-fuzz-edid-" + std::to_string(getpid()) + ".bin";
  return path;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::ofstream(FilePath(), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  std::vector<std::uint8_t> content;
  const std::int64_t count = ReadEdidFile(FilePath(), content);
  TakeLoggedText();
  if (size > 0 && size % 128 == 0) {
    FUZZ_CHECK(count == static_cast<std::int64_t>(size));
    FUZZ_CHECK(content == std::vector<std::uint8_t>(data, data + size));
  } else {
    FUZZ_CHECK(content == DecodeEdidHexText(reinterpret_cast<const char*>(data), size));
    FUZZ_CHECK(count == static_cast<std::int64_t>(content.size()));
  }
  return 0;
}

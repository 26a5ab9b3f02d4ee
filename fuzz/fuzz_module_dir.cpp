// The two executable-directory rules over any buffer, result and code page:
// they never read outside the buffer (it is allocated to its exact size), and
// what they return is the buffer's text up to a separator that is a
// character of its own.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "common/module_dir.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  NarrowEncoding e;
  const int kind = in.ConsumeIntegralInRange<int>(0, 2);
  if (kind == 1) {
    for (int b = 0x81; b <= 0x9F; ++b) e.leadByte[b] = true;
    for (int b = 0xE0; b <= 0xFC; ++b) e.leadByte[b] = true;
  }
  e.utf8 = kind == 2;
  const std::uint32_t result = in.ConsumeIntegralInRange<std::uint32_t>(0, 300);
  const std::string bytes = in.ConsumeRemainingBytesAsString();
  const std::size_t capacity = bytes.size();
  auto buffer = std::make_unique<char[]>(capacity == 0 ? 1 : capacity);
  std::memcpy(buffer.get(), bytes.data(), capacity);

  auto separatorAt = [&](const std::string& dir, std::size_t length) {
    // The directory is a start of the text, followed by a separator.
    return dir.size() < length && std::memcmp(dir.data(), buffer.get(), dir.size()) == 0 &&
           (buffer[dir.size()] == '\\' || buffer[dir.size()] == '/');
  };

  const std::string dir =
      DirectoryFromModuleName(buffer.get(), result, static_cast<std::uint32_t>(capacity), e);
  if (result == 0 || result >= capacity) {
    FUZZ_CHECK(dir.empty());
  } else if (!dir.empty()) {
    FUZZ_CHECK(separatorAt(dir, result));
  }

  const std::string inPlace = ModuleDirectoryInPlace(buffer.get(), capacity, e);
  const std::size_t text = strnlen(buffer.get(), capacity);
  FUZZ_CHECK(inPlace.size() <= text);
  FUZZ_CHECK(std::memcmp(inPlace.data(), buffer.get(), inPlace.size()) == 0);
  if (inPlace.size() < text) FUZZ_CHECK(separatorAt(inPlace, text));

  std::wstring wide(bytes.begin(), bytes.end());
  const std::wstring wdir =
      DirectoryFromModuleName(wide.data(), result, static_cast<std::uint32_t>(wide.size()));
  FUZZ_CHECK(wdir.size() <= wide.size());
  return 0;
}

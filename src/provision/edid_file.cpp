#include "provision/edid_file.h"

#include <fstream>

#include "log/log.h"

EdidFileLoad LoadEdidFile(const std::string& path, std::string& data, std::int64_t& length) {
  length = 0;
  if (path.empty()) return EdidFileLoad::kNotOpened;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return EdidFileLoad::kNotOpened;

  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  in.seekg(0, std::ios::beg);
  const std::streamoff begin = in.tellg();
  if (end < 0 || begin < 0) return EdidFileLoad::kNoLength;
  length = static_cast<std::int64_t>(end - begin);
  if (length > kMaxEdidFileSize) return EdidFileLoad::kTooLarge;

  data.assign(static_cast<std::size_t>(length), '\0');
  in.read(data.data(), static_cast<std::streamsize>(length));
  return in.fail() ? EdidFileLoad::kReadFailed : EdidFileLoad::kLoaded;
}

std::int64_t ReadEdidFile(const std::string& path, std::vector<std::uint8_t>& content) {
  std::string data;
  std::int64_t length = 0;
  switch (LoadEdidFile(path, data, length)) {
    case EdidFileLoad::kNotOpened:
      return 0;
    case EdidFileLoad::kNoLength:
      LogMessage("read edid %s failed.", path.c_str());
      return 0;
    case EdidFileLoad::kTooLarge:
      LogMessage(
          "read edid %s failed: the file has %s bytes, more than the %s an EDID file may have.\n",
          path.c_str(), std::to_string(length).c_str(), std::to_string(kMaxEdidFileSize).c_str());
      return 0;
    case EdidFileLoad::kReadFailed:
      LogMessage("read edid %s failed.", path.c_str());
      return length;
    case EdidFileLoad::kLoaded:
      break;
  }
  return ReadEdidBytes(data.data(), data.size(), content);
}

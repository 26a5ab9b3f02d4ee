#include "provision/edid_file.h"

#include <fstream>

#include "log/log.h"
#include "provision/edid_codec.h"

std::int64_t ReadEdidBytes(const char* data, std::size_t size, std::vector<std::uint8_t>& content) {
  const auto length = static_cast<std::int64_t>(size);
  if (IsRawEdidLength(length)) {
    content.assign(data, data + size);
    return length;
  }
  content = DecodeEdidHexText(data, size);
  return static_cast<std::int64_t>(content.size());
}

std::int64_t ReadEdidFile(const std::string& path, std::vector<std::uint8_t>& content) {
  if (path.empty()) return 0;
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) return 0;

  in.seekg(0, std::ios::end);
  const std::streamoff end = in.tellg();
  in.seekg(0, std::ios::beg);
  const std::streamoff begin = in.tellg();
  if (end < 0 || begin < 0) {
    LogMessage("read edid %s failed.", path.c_str());
    return 0;
  }
  const std::int64_t length = static_cast<std::int64_t>(end - begin);
  if (length > kMaxEdidFileSize) {
    LogMessage(
        "read edid %s failed: the file has %s bytes, more than the %s an EDID file may have.\n",
        path.c_str(), std::to_string(length).c_str(), std::to_string(kMaxEdidFileSize).c_str());
    return 0;
  }

  std::vector<char> buffer(static_cast<std::size_t>(length));
  in.read(buffer.data(), static_cast<std::streamsize>(length));
  if (in.fail()) {
    LogMessage("read edid %s failed.", path.c_str());
    return length;
  }

  return ReadEdidBytes(buffer.data(), buffer.size(), content);
}

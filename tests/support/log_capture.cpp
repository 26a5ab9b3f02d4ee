#include "support/log_capture.h"

#include <windows.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "log/log.h"

namespace dptest {

namespace {

std::string UniqueTempFile() {
  static int counter = 0;
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "dp-log-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(++counter) + "-" + std::to_string(GetTickCount64()) + ".log";
}

}  // namespace

LogCapture::LogCapture() : path_(UniqueTempFile()) {
  DeleteFileA(path_.c_str());
  previous_ = SetLogFilePathForTesting(path_);
}

LogCapture::~LogCapture() {
  SetLogFilePathForTesting(previous_);
  DeleteFileA(path_.c_str());
}

std::string LogCapture::Raw() const { return ReadFileBytes(path_); }

std::string LogCapture::Messages() const { return StripLogPrefixes(Raw()); }

std::string StripLogPrefixes(const std::string& raw) {
  static const std::regex prefix(kLogPrefixPattern);
  std::string text = std::regex_replace(raw, prefix, "");
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace dptest

#include "support/log_capture.h"

#include <windows.h>

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

constexpr const char* kTraceFile = "c:\\dp.log";

}  // namespace

LogCapture::LogCapture() : path_(UniqueTempFile()) {
  DeleteFileA(path_.c_str());
  previous_ = SetLogFilePathForTesting(path_);
}

LogCapture::~LogCapture() {
  SetLogFilePathForTesting(previous_);
  DeleteFileA(path_.c_str());
}

EmptyTraceFile::EmptyTraceFile() : before_(ReadFileBytes(kTraceFile)) { DeleteFileA(kTraceFile); }

EmptyTraceFile::~EmptyTraceFile() { WriteFileBytes(kTraceFile, before_); }

std::string EmptyTraceFile::Now() const { return ReadFileBytes(kTraceFile); }

std::string LogCapture::Raw() const { return ReadFileBytes(path_); }

std::string LogCapture::Messages() const { return StripLogPrefixes(Raw()); }

std::string StripLogPrefixes(const std::string& raw) {
  static const std::regex prefix(kLogPrefixPattern);
  return CrLfToLf(std::regex_replace(raw, prefix, ""));
}

std::string CrLfToLf(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

::testing::AssertionResult InOrder(const std::string& text,
                                   const std::vector<std::string>& fragments) {
  std::size_t at = 0;
  for (const std::string& f : fragments) {
    const std::size_t found = text.find(f, at);
    if (found == std::string::npos) {
      return ::testing::AssertionFailure() << "missing (or out of order): \"" << f << "\"\nin:\n"
                                           << text;
    }
    at = found + f.size();
  }
  return ::testing::AssertionSuccess();
}

}  // namespace dptest

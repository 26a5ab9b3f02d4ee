// Points the log at a fresh file for the length of a test and reads back what
// was written, so tests assert on the log's own bytes.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"

namespace dptest {

// The prefix the log writes before every message, as a regular expression:
// "[MM/DD-hh:mm:ss.mmm]: ".
inline constexpr const char* kLogPrefixPattern = R"(\[\d\d/\d\d-\d\d:\d\d:\d\d\.\d\d\d\]: )";

class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The file exactly as stored (prefixes, CR LF).
  std::string Raw() const;
  // The messages alone: every timestamp prefix removed, CR LF back to "\n".
  std::string Messages() const;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string previous_;  // put back when the capture ends
};

// c:\dp.log emptied for the length of a test and put back as it was after.
// Only the suites named TraceFile may use it: they run alone
// (tests/CMakeLists.txt), so nothing else writes the file meanwhile.
class EmptyTraceFile {
 public:
  EmptyTraceFile();
  ~EmptyTraceFile();
  EmptyTraceFile(const EmptyTraceFile&) = delete;
  EmptyTraceFile& operator=(const EmptyTraceFile&) = delete;
  // What the file holds now.
  std::string Now() const;

 private:
  std::string before_;
};

// Removes every prefix and turns CR LF into "\n".
std::string StripLogPrefixes(const std::string& raw);

// Every CR LF turned into "\n", as text mode (the console, the log file)
// stored each.
std::string CrLfToLf(const std::string& text);

// The lines of a text, without their line ends.
std::vector<std::string> Lines(const std::string& text);

// Whether `fragments` stand in `text` in this order; the first one missing
// or out of order is named, with the text.
::testing::AssertionResult InOrder(const std::string& text,
                                   const std::vector<std::string>& fragments);

}  // namespace dptest

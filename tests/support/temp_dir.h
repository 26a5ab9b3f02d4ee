// A fresh directory under the temporary directory, removed with everything in
// it when the test ends.
#pragma once

#include <string>
#include <vector>

namespace dptest {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  const std::wstring& wpath() const { return wpath_; }
  // path() + "\\" + name
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
  std::wstring wpath_;
};

// Writes `bytes` to `path` exactly; false when the file could not be written.
bool WriteFileBytes(const std::string& path, const std::string& bytes);

// The names a directory search for `pattern` ("dir\\*", "dir\\*.hex") finds,
// in the order the search returns them, without "." and "..".
std::vector<std::string> FindNames(const std::string& pattern);
std::vector<std::wstring> FindNames(const std::wstring& pattern);

}  // namespace dptest

// A fresh directory under the temporary directory, removed with everything in
// it when the test ends.
#pragma once

#include <string>

#include "support/files.h"

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

}  // namespace dptest

// APPDATA set or removed for the length of a test, the old value put back.
#pragma once

#include <optional>
#include <string>

namespace dptest {

class ScopedAppData {
 public:
  // nullopt removes the variable.
  explicit ScopedAppData(const std::optional<std::string>& value);
  ~ScopedAppData();
  ScopedAppData(const ScopedAppData&) = delete;
  ScopedAppData& operator=(const ScopedAppData&) = delete;

 private:
  std::optional<std::string> saved_;
};

}  // namespace dptest

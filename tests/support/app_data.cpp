#include "support/app_data.h"

#include <windows.h>

namespace dptest {

ScopedAppData::ScopedAppData(const std::optional<std::string>& value) {
  const DWORD size = GetEnvironmentVariableA("APPDATA", nullptr, 0);
  if (size > 0) {
    std::string old(size, '\0');
    const DWORD n = GetEnvironmentVariableA("APPDATA", old.data(), size);
    if (n < size) saved_ = old.substr(0, n);
  }
  SetEnvironmentVariableA("APPDATA", value ? value->c_str() : nullptr);
}

ScopedAppData::~ScopedAppData() {
  SetEnvironmentVariableA("APPDATA", saved_ ? saved_->c_str() : nullptr);
}

}  // namespace dptest

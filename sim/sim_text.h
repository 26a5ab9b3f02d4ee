// UTF-8 <-> UTF-16, the simulated stack's one text conversion: names and
// paths are kept as UTF-8 in its files.
#pragma once

#include <string>

namespace sim {

std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace sim

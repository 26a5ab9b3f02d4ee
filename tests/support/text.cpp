#include "support/text.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <regex>

namespace dptest {

std::string Expand(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [key, value] : values) {
    for (std::size_t at = 0; (at = text.find(key, at)) != std::string::npos; at += value.size())
      text.replace(at, key.size(), value);
  }
  return text;
}

::testing::AssertionResult MatchesWith(
    const std::string& text, const std::string& expected,
    const std::vector<std::pair<std::string, std::string>>& patterns) {
  static const std::string special = "\\^$.|?*+()[]{}";
  std::map<std::string, int> groups;
  std::string pattern;
  for (std::size_t i = 0; i < expected.size();) {
    const auto key = std::find_if(patterns.begin(), patterns.end(), [&](const auto& p) {
      return expected.compare(i, p.first.size(), p.first) == 0;
    });
    if (key == patterns.end()) {
      if (special.find(expected[i]) != std::string::npos) pattern += '\\';
      pattern += expected[i++];
      continue;
    }
    // A key's first place captures what it matches; its later ones refer back.
    const auto [group, first] = groups.try_emplace(key->first, static_cast<int>(groups.size()) + 1);
    pattern += first ? "(" + key->second + ")" : "\\" + std::to_string(group->second);
    i += key->first.size();
  }
  if (std::regex_match(text, std::regex(pattern))) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << text << "\nwanted: " << expected;
}

std::wstring AnsiToWide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, out.data(), n);
  return out;
}

std::string WideToAnsi(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

std::string SystemText(unsigned long code) {
  wchar_t* text = nullptr;
  FormatMessageW(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<wchar_t*>(&text),
      0, nullptr);
  const std::string narrow = text != nullptr ? WideToAnsi(text) : "";
  if (text != nullptr) LocalFree(text);
  return narrow;
}

}  // namespace dptest

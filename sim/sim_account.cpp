#include "sim/sim_account.h"

#include <cstdio>

namespace sim {

std::optional<Context> ParseContext(const std::wstring& value) {
  if (value.empty() || value == L"system") return Context::kSystemConsole;
  if (value == L"user") return Context::kUser;
  if (value == L"system-session0") return Context::kSystemSession0;
  if (value == L"remote") return Context::kRemote;
  return std::nullopt;
}

std::optional<Context> CurrentContext(std::string* why) {
  wchar_t value[64];
  const DWORD n = GetEnvironmentVariableW(L"DPSIM_ACCOUNT", value, 64);
  const std::wstring text = n > 0 && n < 64 ? std::wstring(value, n) : std::wstring();
  const std::optional<Context> context = n >= 64 ? std::nullopt : ParseContext(text);
  if (!context && why != nullptr) {
    std::string narrow;
    for (wchar_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
    *why = "DPSIM_ACCOUNT=" + narrow + ": unknown context (" + kContextNames + ")";
  }
  return context;
}

DisplayAccess CurrentDisplayAccess() {
  std::string why;
  const std::optional<Context> context = CurrentContext(&why);
  if (!context) {
    std::fprintf(stderr, "dpsim: %s\n", why.c_str());
    std::fflush(stderr);
    return {ERROR_GEN_FAILURE, false};
  }
  if (*context == Context::kRemote) return {ERROR_ACCESS_DENIED, false};
  return {ERROR_SUCCESS, *context == Context::kSystemSession0};
}

}  // namespace sim

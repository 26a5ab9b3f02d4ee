#include "sim/start_record.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "sim/sim_text.h"

namespace sim {

namespace {

// The path up to its last dot, when that dot is in the last component.
std::wstring WithoutExtension(std::wstring path) {
  const std::size_t dot = path.find_last_of(L'.');
  const std::size_t slash = path.find_last_of(L"\\/");
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) path.resize(dot);
  return path;
}

// A record names its writer by process id alone, and Wine gives a freed id to
// a new process once a few hundred others are free (its id table is a queue),
// so under a busy wineserver a recorded id soon names some other program. The
// process found under it is the writer only when its image is the program
// beside the record file.
bool IsWriterOf(HANDLE process, const std::wstring& writerStem) {
  std::wstring image(32768, L'\0');
  DWORD n = static_cast<DWORD>(image.size());
  if (!QueryFullProcessImageNameW(process, 0, image.data(), &n)) return true;  // cannot tell: wait
  image.resize(n);
  image = WithoutExtension(std::move(image));
  return CompareStringOrdinal(image.data(), static_cast<int>(image.size()), writerStem.data(),
                              static_cast<int>(writerStem.size()), TRUE) == CSTR_EQUAL;
}

bool HasConsole() {
  HANDLE h = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

std::wstring ModulePath() {
  std::wstring module(32768, L'\0');
  const DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
  module.resize(n < module.size() ? n : 0);
  return module;
}

bool InheritedProbeHandle() {
  std::ifstream in(std::filesystem::path(HandleProbeFileFor(ModulePath())), std::ios::binary);
  unsigned long long value = 0;
  std::string file;
  if (!(in >> std::hex >> value) || !(in >> std::ws) || !std::getline(in, file)) return false;
  BY_HANDLE_FILE_INFORMATION held = {};
  if (!GetFileInformationByHandle(reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(value)),
                                  &held))
    return false;
  HANDLE own =
      CreateFileW(FromUtf8(file).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (own == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION named = {};
  const bool same = GetFileInformationByHandle(own, &named) && SameFile(held, named);
  CloseHandle(own);
  return same;
}

}  // namespace

std::wstring HandleProbeFileFor(const std::wstring& program) {
  return WithoutExtension(program) + L".handle";
}

bool WriteHandleProbe(const std::wstring& program, HANDLE handle, const std::wstring& file) {
  std::ofstream out(std::filesystem::path(HandleProbeFileFor(program)), std::ios::binary);
  out << std::hex << reinterpret_cast<std::uintptr_t>(handle) << "\n" << ToUtf8(file) << "\n";
  return static_cast<bool>(out.flush());
}

StartRecord CurrentStart() {
  StartRecord r;
  r.processId = GetCurrentProcessId();
  const wchar_t* line = GetCommandLineW();
  r.commandLine = ToUtf8(line);
  int argc = 0;
  if (wchar_t** argv = CommandLineToArgvW(line, &argc)) {
    for (int i = 0; i < argc; ++i) r.arguments.push_back(ToUtf8(argv[i]));
    LocalFree(argv);
  }
  std::wstring cwd(32768, L'\0');
  const DWORD n = GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data());
  cwd.resize(n < cwd.size() ? n : 0);
  r.currentDirectory = ToUtf8(cwd);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  if (startup.lpDesktop != nullptr) r.desktop = ToUtf8(startup.lpDesktop);
  r.startupFlags = startup.dwFlags;
  r.showWindow = startup.wShowWindow;
  r.hasProbeVariable = GetEnvironmentVariableW(kProbeVariable, nullptr, 0) > 0;
  r.hasConsole = HasConsole();
  r.inheritedProbeHandle = InheritedProbeHandle();
  return r;
}

std::wstring StartRecordFileBesideProgram() { return WithoutExtension(ModulePath()) + L".starts"; }

bool AppendStartRecord(const std::wstring& file, const StartRecord& record) {
  const nlohmann::json j = {
      {"processId", record.processId},   {"commandLine", record.commandLine},
      {"arguments", record.arguments},   {"currentDirectory", record.currentDirectory},
      {"desktop", record.desktop},       {"startupFlags", record.startupFlags},
      {"showWindow", record.showWindow}, {"hasProbeVariable", record.hasProbeVariable},
      {"hasConsole", record.hasConsole}, {"inheritedProbeHandle", record.inheritedProbeHandle}};
  const std::string line = j.dump() + "\n";
  // One append-only write, so that records of programs started at once never mix.
  HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == line.size();
}

std::vector<StartRecord> ReadStartRecords(const std::wstring& file) {
  std::vector<StartRecord> records;
  std::ifstream in(std::filesystem::path(file), std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    const nlohmann::json j = nlohmann::json::parse(line, nullptr, false);
    if (!j.is_object()) continue;
    StartRecord r;
    r.processId = j.value("processId", 0ul);
    r.commandLine = j.value("commandLine", std::string());
    r.arguments = j.value("arguments", std::vector<std::string>());
    r.currentDirectory = j.value("currentDirectory", std::string());
    r.desktop = j.value("desktop", std::string());
    r.startupFlags = j.value("startupFlags", 0ul);
    r.showWindow = j.value("showWindow", 0u);
    r.hasProbeVariable = j.value("hasProbeVariable", false);
    r.hasConsole = j.value("hasConsole", false);
    r.inheritedProbeHandle = j.value("inheritedProbeHandle", false);
    records.push_back(std::move(r));
  }
  return records;
}

bool AwaitStarts(const std::wstring& file, std::size_t count, unsigned long timeoutMs,
                 std::vector<StartRecord>* records) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  std::vector<StartRecord> found = ReadStartRecords(file);
  while (found.size() < count && GetTickCount64() < deadline) {
    Sleep(10);
    found = ReadStartRecords(file);
  }
  bool ok = found.size() >= count;
  const std::wstring writerStem = WithoutExtension(file);
  for (const StartRecord& r : found) {
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
                           FALSE, static_cast<DWORD>(r.processId));
    if (h == nullptr) continue;  // ended and gone
    if (IsWriterOf(h, writerStem)) {
      const ULONGLONG now = GetTickCount64();
      const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
      if (WaitForSingleObject(h, left) != WAIT_OBJECT_0) {
        TerminateProcess(h, 1);
        WaitForSingleObject(h, 5000);
        ok = false;
      }
    }
    CloseHandle(h);
  }
  if (records != nullptr) *records = std::move(found);
  return ok;
}

}  // namespace sim

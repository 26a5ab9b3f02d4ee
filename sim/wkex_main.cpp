// wkex.exe, the simulated virtual-display helper: started as
//   wkex.exe /d EDIDFILE
// it reads the EDID file, takes the monitor name and the preferred mode from
// it, and plugs that display into the simulated machine after a delay, the way
// a virtual-display driver brings up its monitor some time after it was
// asked. Tests and the demo only; it never ships.
//
// How the display shows up (first the environment, then wkex.ini beside the
// program, section [wkex], then the default):
//   WKEX_AS        / as=         clone (default: joins the primary), extend,
//                                inactive (connected, no path), never (adds nothing)
//   WKEX_DELAY_MS  / delayMs=    milliseconds from now (default 300)
//   WKEX_AFTER     / after=      FUNCTION:N instead of a delay: once call N of
//                                that display-configuration function has been
//                                answered, tying the appearance to the caller's
//                                progress rather than to the clock
//
// Every start is recorded in wkex.starts beside the program. Exit code 0 when
// the display was scheduled (or `never`), 1 when the EDID file is missing,
// unreadable or malformed or the machine cannot be changed (the reason on
// standard error, nothing added), 2 for a usage or settings error.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "common/exe_dir.h"
#include "provision/edid_file.h"
#include "sim/sim.h"
#include "sim/sim_text.h"
#include "sim/start_record.h"
#include "sim/virtual_edid.h"

namespace {

constexpr std::uint32_t kDefaultDelayMs = 300;
constexpr std::uint32_t kFirstTargetId = 0x1100;

int Fail(int code, const std::string& message) {
  std::fprintf(stderr, "wkex: %s\n", message.c_str());
  return code;
}

// The environment variable, else the key of wkex.ini, else nothing.
std::optional<std::string> Setting(const wchar_t* variable, const wchar_t* key) {
  wchar_t buffer[1024];
  DWORD n = GetEnvironmentVariableW(variable, buffer, 1024);
  if (n > 0 && n < 1024) return sim::ToUtf8(std::wstring(buffer, n));
  const std::wstring ini = GetExecutableDirectoryW() + L"\\wkex.ini";
  n = GetPrivateProfileStringW(L"wkex", key, L"", buffer, 1024, ini.c_str());
  if (n > 0) return sim::ToUtf8(std::wstring(buffer, n));
  return std::nullopt;
}

bool ParseUnsigned(const std::string& text, std::uint32_t* value) {
  if (text.empty() || text.size() > 9 ||
      !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  *value = static_cast<std::uint32_t>(std::stoul(text));
  return true;
}

struct Plan {
  bool never = false;
  sim::AppearAs as = sim::AppearAs::Clone;
  std::uint32_t delayMs = kDefaultDelayMs;
  std::optional<sim::Api> afterApi;
  std::uint32_t afterCall = 0;
};

// Empty text when the settings are sound, else what is wrong with them.
std::string ReadPlan(Plan* plan) {
  if (const auto as = Setting(L"WKEX_AS", L"as")) {
    if (*as == "clone") {
      plan->as = sim::AppearAs::Clone;
    } else if (*as == "extend") {
      plan->as = sim::AppearAs::Extend;
    } else if (*as == "inactive") {
      plan->as = sim::AppearAs::Inactive;
    } else if (*as == "never") {
      plan->never = true;
    } else {
      return "as is clone, extend, inactive or never, not \"" + *as + "\"";
    }
  }
  if (const auto delay = Setting(L"WKEX_DELAY_MS", L"delayMs")) {
    if (!ParseUnsigned(*delay, &plan->delayMs)) {
      return "delayMs is a number of milliseconds, not \"" + *delay + "\"";
    }
  }
  if (const auto after = Setting(L"WKEX_AFTER", L"after")) {
    const std::size_t colon = after->find(':');
    sim::Api api;
    if (colon == std::string::npos || !sim::ParseApi(after->substr(0, colon), &api) ||
        !ParseUnsigned(after->substr(colon + 1), &plan->afterCall) || plan->afterCall == 0) {
      return "after is FUNCTION:N (a display-configuration function and a call number from 1), "
             "not \"" +
             *after + "\"";
    }
    plan->afterApi = api;
  }
  return {};
}

// The file as the product's reader takes it (its own bytes entry): raw when
// its length is a multiple of 128, hex text otherwise.
bool ReadEdid(const std::wstring& path, std::vector<std::uint8_t>* content, std::string* error) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  if (!in.is_open()) {
    *error = "cannot open the EDID file";
    return false;
  }
  std::vector<char> bytes;
  char chunk[4096];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    if (static_cast<std::int64_t>(bytes.size()) > kMaxEdidFileSize) {
      *error = "the EDID file is larger than " + std::to_string(kMaxEdidFileSize) + " bytes";
      return false;
    }
  }
  if (in.bad()) {
    *error = "cannot read the EDID file";
    return false;
  }
  ReadEdidBytes(bytes.data(), bytes.size(), *content);
  return true;
}

// The same monitor coming back keeps its connector; a new one gets the next.
std::uint32_t TargetIdFor(const sim::Machine& m, const std::string& name) {
  std::uint32_t next = kFirstTargetId;
  for (const sim::Target& t : m.targets) {
    if (t.name == name) return t.id;
    next = std::max(next, t.id + 1);
  }
  return next;
}

// Whatever became of the display, the run held back for it may go on
// (sim_machine.h: HelperGate). Only a machine that has a gate is touched, so a
// helper that fails leaves a machine without one as it was.
void OpenHelperGate() {
  sim::Machine m;
  if (!sim::LoadMachine(&m) || !m.helperGate) return;
  sim::UpdateMachine([](sim::Machine& machine) -> LONG {
    machine.helperGate.reset();
    return ERROR_SUCCESS;
  });
}

int Run() {
  const sim::StartRecord start = sim::CurrentStart();
  sim::AppendStartRecord(sim::StartRecordFileBesideProgram(), start);

  const std::vector<std::string>& args = start.arguments;
  if (args.size() != 3 || (args[1] != "/d" && args[1] != "-d")) {
    return Fail(2, "usage: wkex.exe /d EDIDFILE (given: " + start.commandLine + ")");
  }
  const std::wstring edidPath = sim::FromUtf8(args[2]);
  const std::string& shownPath = args[2];

  Plan plan;
  const std::string settingsError = ReadPlan(&plan);
  if (!settingsError.empty()) return Fail(2, settingsError);

  std::vector<std::uint8_t> content;
  std::string error;
  sim::VirtualDisplaySpec shown;
  if (!ReadEdid(edidPath, &content, &error) ||
      !sim::ParseVirtualDisplayEdid(content, &shown, &error)) {
    return Fail(1, shownPath + ": " + error + "; no display added");
  }
  if (plan.never) return 0;

  const LONG result = sim::UpdateMachine([&](sim::Machine& m) -> LONG {
    sim::Event e;
    e.action = sim::EventAction::Appear;
    e.target.id = TargetIdFor(m, shown.name);
    e.target.name = shown.name;
    e.target.preferred = sim::DisplayMode{shown.width, shown.height, shown.refreshHz};
    e.target.outputTechnology = DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED;
    e.appearAs = plan.as;
    if (plan.afterApi) {
      e.afterApi = plan.afterApi;
      e.afterCall = plan.afterCall;
    } else {
      const std::uint64_t now = sim::NowMs();
      e.afterMs = (now > m.createdAtMs ? now - m.createdAtMs : 0) + plan.delayMs;
    }
    m.events.push_back(e);
    m.helperGate.reset();
    return ERROR_SUCCESS;
  });
  if (result != ERROR_SUCCESS) {
    return Fail(1, "the simulated machine could not be changed (error " + std::to_string(result) +
                       "); no display added");
  }
  return 0;
}

}  // namespace

int main() {
  const int code = Run();
  OpenHelperGate();
  return code;
}

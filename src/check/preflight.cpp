#include "check/preflight.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "app/target_monitor.h"
#include "check/account_api.h"
#include "display/display_config_api.h"
#include "display/enumerate.h"
#include "launch/companion.h"
#include "launch/session_api.h"
#include "launch/user_session.h"
#include "log/log.h"
#include "provision/edid_codec.h"
#include "provision/edid_file.h"
#include "provision/edid_profile.h"
#include "provision/kex_launch.h"
#include "provision/profile_facts.h"
#include "provision/target_mode.h"

namespace {

constexpr DWORD kNoSession = 0xFFFFFFFF;

// What the units said while the check ran them: their messages never reach a
// log, the console or the debugger.
std::vector<std::string>* g_said = nullptr;

void Keep(const std::string& message) {
  if (g_said != nullptr) g_said->push_back(message);
}

class Listening {
 public:
  Listening() : previous_(SetLogSink(&Keep)) { g_said = &said_; }
  ~Listening() {
    g_said = nullptr;
    SetLogSink(previous_);
  }
  Listening(const Listening&) = delete;
  Listening& operator=(const Listening&) = delete;

  // The text after `prefix` in the first message that starts with it, up to
  // its line end.
  std::optional<std::string> After(const std::string& prefix) const {
    for (const std::string& m : said_) {
      const std::size_t at = m.find(prefix);
      if (at == std::string::npos) continue;
      std::string rest = m.substr(at + prefix.size());
      if (!rest.empty() && rest.back() == '\n') rest.pop_back();
      return rest;
    }
    return std::nullopt;
  }
  bool Said(const std::string& fragment) const { return After(fragment).has_value(); }
  std::string First() const { return said_.empty() ? std::string() : said_.front(); }
  void Clear() { said_.clear(); }

 private:
  std::vector<std::string> said_;
  LogSink previous_;
};

std::string Narrow(const std::wstring& text) { return FormatLogString("%ls", text.c_str()); }

std::string Number(unsigned long value) { return std::to_string(value); }

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string DisplayText(const DisplayInfo& d, std::size_t index) {
  return FormatLogString("[%zu] %ws %ws (%ux%u) at (%d,%d)%s%s", index, d.deviceName.c_str(),
                         d.monitorName.c_str(), d.width, d.height, d.positionX, d.positionY,
                         d.isActive ? " [Active]" : " [Inactive]", d.isPrimary ? " [Primary]" : "");
}

bool IsTargetMonitor(const DisplayInfo& d) {
  return d.monitorName == TargetMonitorNameW ||
         d.deviceName.find(TargetMonitorNameW) != std::wstring::npos;
}

// Whether the rewrite could write the profile back, without writing: the
// read-only attribute is tested on its own (Wine run by root ignores it on
// open), then an open for writing that changes nothing.
std::string WhyNotWritable(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    return "the file is read-only";
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return "it cannot be opened for writing (error " + Number(GetLastError()) + ")";
  CloseHandle(file);
  return {};
}

}  // namespace

PreflightReport RunPreflight(const std::string& exeDir, const std::wstring& exeDirW) {
  PreflightReport report;
  auto line = [&](const char* label, std::string text) {
    report.lines.push_back({label, std::move(text)});
  };
  Listening units;

  // Who and where.
  const accountapi::Account account = accountapi::CurrentAccount();
  std::string who = account.known ? Narrow(account.name) : "unknown";
  if (!account.known) who += " (the token could not be read: error " + Number(account.error) + ")";
  line("account", who + (account.localSystem ? ", the local system account"
                                             : ", not the local system account"));

  DWORD own = kNoSession;
  const bool ownKnown = sessionapi::ProcessIdToSessionId(GetCurrentProcessId(), &own) != FALSE;
  const DWORD ownError = GetLastError();
  const DWORD console = sessionapi::WTSGetActiveConsoleSessionId();
  std::string session = ownKnown ? Number(own) : "unknown (error " + Number(ownError) + ")";
  if (console == kNoSession) {
    session += "; no session is attached to the console";
  } else if (ownKnown && own == console) {
    session += ", the console session";
  } else {
    session += ", not the console session (" + Number(console) + ")";
    if (ownKnown && own == 0) session += ": the services' session, without the user's desktop";
  }
  line("session", session);

  // The display calls and the listing, as the run's first listing sees them.
  UINT32 paths = 0, modes = 0;
  const LONG sizes = displayapi::GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes);
  if (sizes == ERROR_SUCCESS) {
    line("display calls", "answered");
  } else {
    std::string text = "refused with error " + std::to_string(sizes);
    if (sizes == ERROR_ACCESS_DENIED) text += " (no access to the console session's displays)";
    line("display calls", text);
    report.blockers.push_back("the display calls are refused");
  }

  std::vector<DisplayInfo> displays;
  int activeCount = 0;
  units.Clear();
  std::string list;
  if (!EnumerateDisplays(displays, activeCount)) {
    std::string why = units.First();
    while (!why.empty() && why.back() == '\n') why.pop_back();
    list = "none (the listing failed: " + why + ")";
  } else if (displays.empty()) {
    list = "none";
  } else {
    list = std::to_string(displays.size()) + " listed:";
    for (std::size_t i = 0; i < displays.size(); ++i) list += " " + DisplayText(displays[i], i);
  }
  line("displays", list);

  const std::size_t n = displays.size();
  const bool provisions = n < 2;
  if (n >= 3) {
    line("a run", "changes nothing: three or more displays are listed");
    report.blockers.push_back("three or more displays are listed");
  } else if (n == 2) {
    bool found = false;
    for (const DisplayInfo& d : displays) found = found || IsTargetMonitor(d);
    line("a run", found ? "arranges the two displays and makes TovikMonitor primary"
                        : "arranges the two displays, but neither is TovikMonitor");
    if (!found) report.blockers.push_back("neither listed display is TovikMonitor");
  } else {
    line("a run", "provisions the virtual monitor, then arranges");
  }

  // The settings and the profile, read as provisioning reads them.
  TargetMode mode;
  units.Clear();
  ReadTargetMode(mode);
  std::string settings = units.After("Reading config file: ").value_or("?");
  settings += ": width=" + std::to_string(mode.width) + ", height=" + std::to_string(mode.height) +
              ", fps=" + std::to_string(mode.fps);
  if (const auto missing = units.After("File does not exist: "))
    settings += " (" + *missing + " does not exist)";
  if (units.Said("Failed to get APPDATA path.")) settings += " (APPDATA is not set)";
  line("store.dat", settings);

  mode.exeDir = exeDir;
  units.Clear();
  const std::string best_hex = SelectEdidProfile(mode);
  const std::string need = provisions ? "" : " (not needed now)";
  std::string monitorName;
  bool hasName = false;
  if (best_hex.empty()) {
    line("profile", "none in " + exeDir + "\\edid" + need);
    if (provisions) report.blockers.push_back("no EDID profile to choose");
  } else {
    std::string text = best_hex;
    if (const auto closest = units.After("Closest file: ")) {
      const std::size_t at = closest->find(" (distance=");
      if (at != std::string::npos) text += closest->substr(at);
    }
    // The reader's own forms and descriptors: the form, the blocks, the name.
    const ProfileFacts profile = InspectProfile(best_hex);
    hasName = profile.readable && profile.monitorName.has_value();
    if (hasName) monitorName = *profile.monitorName;
    line("profile", text + ", " + profile.text + need);
    if (provisions && !profile.works)
      report.blockers.push_back(profile.readable && profile.isEdid
                                    ? "the profile cannot carry a monitor name"
                                    : "the profile is not an EDID the program reads");
  }

  if (!best_hex.empty()) {
    const std::string why = WhyNotWritable(best_hex);
    const bool named = hasName && monitorName == TargetMonitorName;
    std::string text = why.empty() ? "possible" : "not possible: " + why;
    if (!why.empty() && named) text += "; the profile already names TovikMonitor";
    if (!why.empty() && !named && hasName)
      text += "; the helper would get \"" + monitorName + "\", not TovikMonitor";
    line("rewrite", text + need);
    if (provisions && !why.empty() && !named)
      report.blockers.push_back("the profile cannot be renamed TovikMonitor");
  }

  const std::string helper = KexHelperPath(exeDir);
  const bool helperThere = IsFile(helper);
  line("helper", helper + (helperThere ? ": present" : ": missing") + need);
  if (provisions && !helperThere) report.blockers.push_back("wkex.exe is missing");

  // Looked for as the user-session launch looks, by its full (wide) path.
  const std::wstring companion = exeDirW + kCompanionRelativePathW;
  const DWORD companionAttributes = GetFileAttributesW(companion.c_str());
  const bool companionThere = companionAttributes != INVALID_FILE_ATTRIBUTES &&
                              !(companionAttributes & FILE_ATTRIBUTE_DIRECTORY);
  line("companion", Narrow(companion) + (companionThere ? ": present" : ": missing"));
  if (!companionThere) report.blockers.push_back("the companion is missing");

  // The user-session launch: its session choice and its token query, the
  // token closed at once.
  units.Clear();
  DWORD target = console;
  if (target == kNoSession) {
    SessionChoice choice = FindSessionByProcessName(L"explorer.exe");
    if (!choice.chosen()) choice = FindSessionByProcessName(L"winlogon.exe");
    if (choice.chosen()) target = choice.sessionId;
  }
  std::string launch;
  if (target == kNoSession) {
    launch = "not possible: no user session found";
  } else {
    HANDLE token = nullptr;
    if (sessionapi::WTSQueryUserToken(target, &token)) {
      sessionapi::CloseHandle(token);
      launch = "possible: the companion would start as the user of session " + Number(target);
    } else {
      launch = "not possible (WTSQueryUserToken error " + Number(GetLastError()) + ")";
    }
  }
  if (launch.rfind("possible", 0) != 0)
    launch += ": the companion would start directly, as " + who.substr(0, who.find(" (")) +
              (ownKnown ? " in session " + Number(own) : "");
  line("user-session launch", launch);

  line("log", PlannedLogFilePath());
  return report;
}

std::string FormatPreflightReport(const PreflightReport& report) {
  std::string out;
  for (const PreflightLine& l : report.lines) out += l.label + ": " + l.text + "\n";
  if (report.wouldReachGoal()) {
    out += "verdict: a run would reach its goal\n";
  } else {
    out += "verdict: a run would not reach its goal:";
    for (std::size_t i = 0; i < report.blockers.size(); ++i)
      out += (i == 0 ? " " : "; ") + report.blockers[i];
    out += "\n";
  }
  return out;
}

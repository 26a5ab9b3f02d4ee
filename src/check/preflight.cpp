#include "check/preflight.h"

#include <wtsapi32.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "agent/agent_service.h"
#include "agent/program_rights.h"
#include "app/arrange.h"
#include "app/target_monitor.h"
#include "common/account_api.h"
#include "display/display_config_api.h"
#include "display/enumerate.h"
#include "launch/companion.h"
#include "launch/session_api.h"
#include "launch/user_session.h"
#include "log/log.h"
#include "provision/edid_profile.h"
#include "provision/edid_rewrite.h"
#include "provision/kex_launch.h"
#include "provision/profile_facts.h"
#include "provision/target_mode.h"

namespace {

void Discard(const std::string&) {}

// While it lives, the units' messages go nowhere: no log line, no console
// output, no log folder made.
class Quiet {
 public:
  Quiet() : previous_(SetLogSink(&Discard)) {}
  ~Quiet() { SetLogSink(previous_); }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;

 private:
  LogSink previous_;
};

std::string Narrow(const std::wstring& text) { return FormatLogString("%ls", text.c_str()); }

std::string Number(unsigned long value) { return std::to_string(value); }

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the program's manifest asks for an administrator
// (requestedExecutionLevel requireAdministrator).
bool AsksForAnAdministrator(const std::string& path) {
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return false;
  bool asks = false;
  // The process manifest: resource 1 of type RT_MANIFEST (24).
  if (HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
    const DWORD size = SizeofResource(module, resource);
    const HGLOBAL loaded = LoadResource(module, resource);
    const char* text = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    asks = text != nullptr &&
           std::string(text, size).find("\"requireAdministrator\"") != std::string::npos;
  }
  FreeLibrary(module);
  return asks;
}

std::string DisplayText(const DisplayInfo& d, std::size_t index) {
  return FormatLogString("[%zu] %ws %ws (%ux%u) at (%d,%d)%s%s", index, d.deviceName.c_str(),
                         d.monitorName.c_str(), d.width, d.height, d.positionX, d.positionY,
                         d.isActive ? " [Active]" : " [Inactive]", d.isPrimary ? " [Primary]" : "");
}

// The client protocol of this process's session: 0 the console, 2 RDP.
std::optional<USHORT> ClientProtocol(DWORD session) {
  LPWSTR buffer = nullptr;
  DWORD bytes = 0;
  if (!sessionapi::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, session,
                                               WTSClientProtocolType, &buffer, &bytes))
    return std::nullopt;
  std::optional<USHORT> protocol;
  if (bytes >= sizeof(USHORT)) protocol = *reinterpret_cast<USHORT*>(buffer);
  sessionapi::WTSFreeMemory(buffer);
  return protocol;
}

}  // namespace

PreflightReport RunPreflight(const std::string& exeDir, const std::wstring& exeDirW) {
  PreflightReport report;
  auto line = [&](const char* label, std::string text) {
    report.lines.push_back({label, std::move(text)});
  };
  auto block = [&](BlockerKind kind, std::string what, std::string fix) {
    report.blockers.push_back({kind, std::move(what), std::move(fix)});
  };
  Quiet units;

  // Who and where.
  const accountapi::Account account = accountapi::CurrentAccount();
  const std::string name = account.known ? Narrow(account.name) : "unknown";
  std::string who = name;
  if (!account.known) who += " (the token could not be read: error " + Number(account.error) + ")";
  ContextFacts context;
  context.account =
      who + (account.localSystem ? ", the local system account" : ", not the local system account");
  DWORD own = kPreflightNoSession;
  if (sessionapi::ProcessIdToSessionId(GetCurrentProcessId(), &own)) {
    context.ownSession = own;
    context.clientProtocol = ClientProtocol(own);
  } else {
    context.ownSessionError = GetLastError();
  }
  context.consoleSession = sessionapi::WTSGetActiveConsoleSessionId();
  report.lines.push_back(JudgeContext(context, report.blockers));

  // The display calls and the listing, as the run's first listing sees them.
  UINT32 paths = 0, modes = 0;
  const LONG sizes = displayapi::GetDisplayConfigBufferSizes(QDC_ALL_PATHS, &paths, &modes);
  report.lines.push_back(JudgeDisplayCalls(sizes, paths, modes, report.blockers));
  const bool displaysAnswer = sizes == ERROR_SUCCESS && paths != 0 && modes != 0;

  std::vector<DisplayInfo> displays;
  int activeCount = 0;
  std::string list;
  const bool listed = EnumerateDisplays(displays, activeCount);
  if (!listed) {
    list = displaysAnswer ? "none (the listing failed)" : "none";
  } else if (displays.empty()) {
    list = "none";
  } else {
    list = std::to_string(displays.size()) + " listed:";
    for (std::size_t i = 0; i < displays.size(); ++i) list += " " + DisplayText(displays[i], i);
  }
  line("displays", list);

  const std::size_t n = displays.size();
  const bool provisions = n < 2;
  report.lines.push_back(JudgeListing(
      displaysAnswer, listed, n, std::any_of(displays.begin(), displays.end(), IsTargetDisplay),
      report.blockers));

  // The settings and the profile, read as provisioning reads them.
  TargetMode mode;
  SettingsSource source;
  ReadTargetMode(mode, &source);
  std::string settings = source.path + ": width=" + std::to_string(mode.width) +
                         ", height=" + std::to_string(mode.height) +
                         ", fps=" + std::to_string(mode.fps);
  if (!source.missingPath.empty()) settings += " (" + source.missingPath + " does not exist)";
  if (!source.appDataSet) settings += " (APPDATA is not set)";
  line("store.dat", settings);

  mode.exeDir = exeDir;
  std::string distance;
  const std::string best_hex = SelectEdidProfile(mode, &distance);
  const std::string need = provisions ? "" : " (not needed now)";
  std::string monitorName;
  bool hasName = false;
  bool checksumWrong = false;
  if (best_hex.empty()) {
    line("profile", "none in " + exeDir + "\\edid" + need);
    if (provisions)
      block(BlockerKind::kFiles, "no EDID profile to choose",
            "put the profiles in " + exeDir + "\\edid, named WIDTHxHEIGHTxFPS.hex");
  } else {
    // The reader's own forms and descriptors: the form, the blocks, the name.
    const ProfileFacts profile = InspectProfile(best_hex);
    hasName = profile.readable && profile.monitorName.has_value();
    checksumWrong = profile.checksumWrong;
    if (hasName) monitorName = *profile.monitorName;
    line("profile", best_hex + " (distance=" + distance + "), " + profile.text + need);
    if (provisions && !profile.works) {
      if (profile.readable && profile.isEdid) {
        block(BlockerKind::kFiles, "the profile has no monitor-name descriptor",
              "convert it with `edidgen import`, which makes one, and put the result in " + exeDir +
                  "\\edid");
      } else {
        block(BlockerKind::kFiles, "the profile is not an EDID the program reads",
              "convert it with `edidgen import`, or use a packaged profile");
      }
    }
  }

  if (!best_hex.empty()) {
    const std::string why = WhyEdidFileCannotBeRewritten(best_hex);
    const bool named = hasName && monitorName == TargetMonitorName;
    std::string text = why.empty() ? "possible" : "not possible: " + why;
    if (!why.empty() && named)
      text += (account.localSystem || account.administrator)
                  ? "; the profile already names TovikMonitor"
                  : ", as expected for an install only administrators can write: the profile "
                    "already names TovikMonitor";
    if (!why.empty() && !named && hasName)
      text += "; the helper would get \"" + monitorName + "\", not TovikMonitor";
    line("rewrite", text + need);
    if (provisions && !why.empty() && !named)
      block(BlockerKind::kFiles, "the profile cannot be renamed TovikMonitor (" + why + ")",
            "let the account write " + exeDir +
                "\\edid, or use a profile that names TovikMonitor already (the packaged ones do)");
    if (provisions && !why.empty() && named && checksumWrong)
      block(BlockerKind::kFiles,
            "the profile's checksum is wrong, and the rewrite that would set it right is not "
            "possible (" +
                why + ")",
            "convert it with `edidgen import`");
  }

  const std::string helper = KexHelperPath(exeDir);
  const bool helperThere = IsFile(helper);
  const bool helperElevates = helperThere && AsksForAnAdministrator(helper);
  line("helper", helper + (helperThere ? ": present" : ": missing") +
                     (helperElevates ? ", asks to run as an administrator" : "") + need);
  if (provisions && !helperThere)
    block(BlockerKind::kFiles, "wkex.exe is missing",
          "put the virtual-display helper at " + helper);
  // Started by an account that is no administrator, such a program does not
  // start at all (error 740, ERROR_ELEVATION_REQUIRED).
  if (provisions && helperElevates && !account.localSystem && !account.administrator)
    block(BlockerKind::kContext,
          "wkex.exe asks to run as an administrator, which a start by this account cannot give "
          "it (error 740)",
          "install the agent, which starts displayprep, and so the helper, as the local system "
          "account");

  // Looked for as the user-session launch looks, by its full (wide) path.
  const std::wstring companion = exeDirW + kCompanionRelativePathW;
  const DWORD companionAttributes = GetFileAttributesW(companion.c_str());
  const bool companionThere = companionAttributes != INVALID_FILE_ATTRIBUTES &&
                              !(companionAttributes & FILE_ATTRIBUTE_DIRECTORY);
  line("companion", Narrow(companion) + (companionThere ? ": present" : ": missing"));
  if (!companionThere)
    block(BlockerKind::kFiles, "the companion is missing", "put it at " + Narrow(companion));

  // The user-session launch: its own session choice and its token query,
  // the token closed at once.
  const std::optional<DWORD> target = ChooseLaunchSession();
  std::string launch;
  bool possible = false;
  if (!target) {
    launch = "not possible: no user session found";
  } else {
    HANDLE token = nullptr;
    possible = sessionapi::WTSQueryUserToken(*target, &token) != FALSE;
    if (possible) {
      sessionapi::CloseHandle(token);
      launch = "possible: the companion would start as the user of session " + Number(*target);
    } else {
      const DWORD error = GetLastError();
      launch = "not possible (WTSQueryUserToken error " + Number(error) + ")";
      // Only the local system account may have the user's token: run as the
      // user, the direct start is the way.
      if (error == ERROR_PRIVILEGE_NOT_HELD && !account.localSystem)
        launch += ", as expected when run as the user";
    }
  }
  if (!possible)
    launch += ": the companion would start directly, as " + name +
              (context.ownSession ? " in session " + Number(*context.ownSession) : "");
  line("user-session launch", launch);

  // The agent route, for those who may ask the service manager.
  if (account.administrator) {
    const AgentServiceState agent = QueryAgentService();
    std::string text = !agent.known       ? "unknown (error " + Number(agent.error) + ")"
                       : !agent.installed ? "not installed"
                       : agent.running    ? "installed and running"
                                          : "installed, not running";
    line("agent", text);
    if (agent.installed && !agent.running)
      block(BlockerKind::kContext, "the agent is installed but not running: nothing starts a run",
            "start it (sc.exe start displayprep-agent) and see why it stopped in its log");
    const std::optional<std::string> why = WhyInstallCanBeChanged(exeDirW);
    line("install folder", why ? "can be changed by others: " + *why
                               : "only Administrators, SYSTEM and TrustedInstaller can change it");
    if (why && (agent.installed || account.localSystem))
      block(BlockerKind::kFiles, "the agent refuses to start programs others can change: " + *why,
            "let only Administrators, SYSTEM and TrustedInstaller change " + exeDir +
                " and what stands in it");
  }

  line("log", PlannedLogFilePath());
  return report;
}

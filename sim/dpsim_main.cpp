// dpsim: sets up, scripts and inspects the simulated machine that
// displayprep-sim.exe and the other simulated programs share.
#include <windows.h>
// shellapi.h needs windows.h before it.
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/display_config_api.h"
#include "sim/sim.h"
#include "sim/sim_text.h"

namespace {

constexpr const char* kUsage =
    "usage: dpsim [--state FILE] COMMAND [ARGUMENTS]\n"
    "\n"
    "The state file is FILE, else %DPSIM_STATE%, else sim-state.json beside dpsim.exe.\n"
    "\n"
    "  init MACHINE|FILE.json   start a fresh machine (dpsim machines lists the built-in ones)\n"
    "  machines                 list the built-in machines\n"
    "  show                     the desktop picture, faults and events\n"
    "  state                    the state file as it stands\n"
    "  calls                    call counts and the recorded SetDisplayConfig calls\n"
    "  fault FUNCTION N|every ERROR   make call N (1-based) or every call fail with ERROR\n"
    "  fault clear              remove every fault\n"
    "  event after-call FUNCTION N ACTION   ACTION once call N of FUNCTION has been answered\n"
    "  event after-ms MS ACTION             ACTION once MS ms have passed since init\n"
    "  event in-ms MS ACTION                ACTION once MS ms have passed from now\n"
    "      ACTION: appear TARGET NAME WxH[@HZ] [extend|clone[:SOURCE]|inactive]\n"
    "              inactive TARGET | clone TARGET [SOURCE] | unplug TARGET\n"
    "  query [all|active] [--repeat N]  query the simulated stack as a program does\n"
    "  extend                   SetDisplayConfig with SDC_APPLY|SDC_TOPOLOGY_EXTEND\n"
    "\n"
    "FUNCTION is GetDisplayConfigBufferSizes, QueryDisplayConfig, DisplayConfigGetDeviceInfo\n"
    "or SetDisplayConfig. ERROR is a Windows error code (decimal or 0x hex) or one of\n"
    "ERROR_ACCESS_DENIED, ERROR_GEN_FAILURE, ERROR_INVALID_PARAMETER, ERROR_NOT_SUPPORTED,\n"
    "ERROR_INSUFFICIENT_BUFFER, ERROR_BAD_CONFIGURATION.\n";

class UsageError {
 public:
  explicit UsageError(std::string message) : message_(std::move(message)) {}
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

void Print(const std::string& text) {
  fwrite(text.data(), 1, text.size(), stdout);
  fflush(stdout);
}

int Fail(const std::string& message) {
  fprintf(stderr, "dpsim: %s\n", message.c_str());
  return 1;
}

uint64_t Number(const std::string& text, const char* what) {
  char* end = nullptr;
  errno = 0;
  const unsigned long long n = strtoull(text.c_str(), &end, 0);
  if (text.empty() || text[0] == '-' || *end != '\0' || errno == ERANGE) {
    throw UsageError(std::string(what) + " must be a number, not \"" + text + "\"");
  }
  return n;
}

uint32_t Number32(const std::string& text, const char* what) {
  const uint64_t n = Number(text, what);
  if (n > 0xFFFFFFFFull) throw UsageError(std::string(what) + " is too large: " + text);
  return static_cast<uint32_t>(n);
}

LONG ErrorCode(const std::string& text) {
  static const std::pair<const char*, LONG> kNames[] = {
      {"ERROR_ACCESS_DENIED", ERROR_ACCESS_DENIED},
      {"ERROR_GEN_FAILURE", ERROR_GEN_FAILURE},
      {"ERROR_INVALID_PARAMETER", ERROR_INVALID_PARAMETER},
      {"ERROR_NOT_SUPPORTED", ERROR_NOT_SUPPORTED},
      {"ERROR_INSUFFICIENT_BUFFER", ERROR_INSUFFICIENT_BUFFER},
      {"ERROR_BAD_CONFIGURATION", ERROR_BAD_CONFIGURATION},
  };
  for (const auto& [name, code] : kNames) {
    if (text == name) return code;
  }
  if (!text.empty() && text[0] == '-') return -static_cast<LONG>(Number32(text.substr(1), "ERROR"));
  return static_cast<LONG>(Number32(text, "ERROR"));
}

sim::Api ApiArg(const std::string& text) {
  sim::Api api;
  if (!sim::ParseApi(text, &api)) throw UsageError("unknown function \"" + text + "\"");
  return api;
}

// Reads "1920x1080" or "1920x1080@60".
sim::DisplayMode ModeArg(const std::string& text) {
  sim::DisplayMode mode;
  const size_t x = text.find('x');
  const size_t at = text.find('@');
  if (x == std::string::npos) throw UsageError("a mode looks like 1920x1080 or 1920x1080@60");
  mode.width = Number32(text.substr(0, x), "width");
  mode.height = Number32(
      text.substr(x + 1, at == std::string::npos ? std::string::npos : at - x - 1), "height");
  if (at != std::string::npos) mode.refreshHz = Number32(text.substr(at + 1), "refresh rate");
  if (mode.width == 0 || mode.height == 0 || mode.refreshHz == 0) {
    throw UsageError("a mode needs a size and a refresh rate above 0");
  }
  return mode;
}

// `createdAtMs` turns "in MS from now" into the stored "after MS since
// creation".
sim::Event EventArgs(const std::vector<std::string>& args, size_t i, uint64_t createdAtMs) {
  sim::Event e;
  auto need = [&](size_t k, const char* what) -> const std::string& {
    if (k >= args.size()) throw UsageError(std::string("event: missing ") + what);
    return args[k];
  };
  const std::string& trigger = need(i++, "trigger (after-call, after-ms or in-ms)");
  if (trigger == "after-call") {
    e.afterApi = ApiArg(need(i++, "FUNCTION"));
    e.afterCall = Number32(need(i++, "N"), "N");
  } else if (trigger == "after-ms") {
    e.afterMs = Number(need(i++, "MS"), "MS");
  } else if (trigger == "in-ms") {
    const uint64_t now = sim::NowMs();
    e.afterMs = (now > createdAtMs ? now - createdAtMs : 0) + Number(need(i++, "MS"), "MS");
  } else {
    throw UsageError("event: the trigger is after-call, after-ms or in-ms, not \"" + trigger +
                     "\"");
  }
  const std::string& action = need(i++, "ACTION");
  if (action == "appear") {
    e.action = sim::EventAction::Appear;
    e.target.id = Number32(need(i++, "TARGET"), "TARGET");
    e.target.name = need(i++, "NAME");
    e.target.preferred = ModeArg(need(i++, "WxH"));
    e.target.outputTechnology = DISPLAYCONFIG_OUTPUT_TECHNOLOGY_INDIRECT_WIRED;
    const std::string as = i < args.size() ? args[i++] : "extend";
    if (as == "extend") {
      e.appearAs = sim::AppearAs::Extend;
    } else if (as == "inactive") {
      e.appearAs = sim::AppearAs::Inactive;
    } else if (as == "clone") {
      e.appearAs = sim::AppearAs::Clone;
    } else if (as.rfind("clone:", 0) == 0) {
      e.appearAs = sim::AppearAs::Clone;
      e.sourceId = Number32(as.substr(6), "SOURCE");
    } else {
      throw UsageError("appear as extend, clone, clone:SOURCE or inactive, not \"" + as + "\"");
    }
  } else if (action == "inactive" || action == "unplug" || action == "clone") {
    e.action = action == "inactive" ? sim::EventAction::Deactivate
               : action == "unplug" ? sim::EventAction::Unplug
                                    : sim::EventAction::JoinClone;
    e.targetId = Number32(need(i++, "TARGET"), "TARGET");
    if (action == "clone" && i < args.size()) e.sourceId = Number32(args[i++], "SOURCE");
  } else {
    throw UsageError("event: unknown action \"" + action + "\"");
  }
  if (i != args.size()) throw UsageError("event: unexpected \"" + args[i] + "\"");
  return e;
}

std::string DescribeFault(const sim::Fault& f) {
  return std::string(sim::ApiName(f.api)) + " " +
         (f.atCall == 0 ? std::string("every call") : "call " + std::to_string(f.atCall)) +
         " fails with " + std::to_string(f.error);
}

std::string DescribeEvent(const sim::Event& e) {
  std::string text =
      e.afterApi ? "after call " + std::to_string(e.afterCall) + " of " + sim::ApiName(*e.afterApi)
                 : "after " + std::to_string(e.afterMs.value_or(0)) + " ms";
  switch (e.action) {
    case sim::EventAction::Appear:
      text += ": \"" + e.target.name + "\" (target " + std::to_string(e.target.id) + ") appears " +
              (e.appearAs == sim::AppearAs::Extend  ? "extended"
               : e.appearAs == sim::AppearAs::Clone ? "as a clone"
                                                    : "inactive");
      break;
    case sim::EventAction::Deactivate:
      text += ": target " + std::to_string(e.targetId) + " turns inactive";
      break;
    case sim::EventAction::JoinClone:
      text += ": target " + std::to_string(e.targetId) + " joins a clone";
      break;
    case sim::EventAction::Unplug:
      text += ": target " + std::to_string(e.targetId) + " is unplugged";
      break;
  }
  return text + (e.fired ? " [fired]" : " [pending]");
}

LONG Query(bool all, std::string* out) {
  const UINT32 flags = all ? QDC_ALL_PATHS : QDC_ONLY_ACTIVE_PATHS;
  for (int attempt = 0; attempt < 3; ++attempt) {
    UINT32 numPaths = 0, numModes = 0;
    LONG r = displayapi::GetDisplayConfigBufferSizes(flags, &numPaths, &numModes);
    if (r != ERROR_SUCCESS) return r;
    // Never hand out a null array, even for an empty answer.
    std::vector<DISPLAYCONFIG_PATH_INFO> paths(numPaths + 1);
    std::vector<DISPLAYCONFIG_MODE_INFO> modes(numModes + 1);
    r = displayapi::QueryDisplayConfig(flags, &numPaths, paths.data(), &numModes, modes.data(),
                                       nullptr);
    if (r == ERROR_INSUFFICIENT_BUFFER) continue;  // the machine changed in between
    if (r != ERROR_SUCCESS) return r;
    paths.resize(numPaths);
    modes.resize(numModes);
    *out = "QueryDisplayConfig: " + std::to_string(numPaths) + " paths, " +
           std::to_string(numModes) + " modes\n" + sim::DescribeArrays(paths, modes);
    return ERROR_SUCCESS;
  }
  return ERROR_INSUFFICIENT_BUFFER;
}

int Run(const std::vector<std::string>& args) {
  size_t i = 0;
  if (i < args.size() && args[i] == "--state") {
    if (i + 1 >= args.size()) throw UsageError("--state needs a file");
    sim::SetStatePath(sim::FromUtf8(args[i + 1]));
    i += 2;
  }
  if (i >= args.size() || args[i] == "help" || args[i] == "--help") {
    Print(kUsage);
    return i >= args.size() ? 2 : 0;
  }
  const std::string command = args[i++];
  const size_t rest = args.size() - i;
  std::string error;

  if (command == "machines") {
    for (const std::string& name : sim::BuiltInMachineNames()) Print(name + "\n");
    return 0;
  }
  if (command == "init") {
    if (rest != 1) throw UsageError("init takes one machine name or JSON file");
    sim::Machine m;
    if (std::optional<sim::Machine> built = sim::BuiltInMachine(args[i])) {
      m = *built;
      m.createdAtMs = sim::NowMs();
    } else {
      FILE* f = _wfopen(sim::FromUtf8(args[i]).c_str(), L"rb");
      if (!f) return Fail("\"" + args[i] + "\" is neither a built-in machine nor a readable file");
      std::string text;
      char buffer[4096];
      for (size_t n; (n = fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
      fclose(f);
      if (!sim::MachineFromJson(text, &m, &error)) return Fail(args[i] + ": " + error);
      if (m.createdAtMs == 0) m.createdAtMs = sim::NowMs();
    }
    if (!sim::SaveMachine(m, &error)) return Fail(error);
    Print(sim::RenderDesktop(m));
    return 0;
  }
  if (command == "show" || command == "state" || command == "calls") {
    if (rest != 0) throw UsageError(command + " takes no arguments");
    sim::Machine m;
    if (!sim::LoadMachine(&m, &error)) return Fail(error);
    if (command == "state") {
      Print(sim::MachineToJson(m));
    } else if (command == "calls") {
      std::string counts = "Calls:";
      for (int k = 0; k < sim::kApiCount; ++k) {
        counts += std::string(" ") + sim::ApiName(static_cast<sim::Api>(k)) + "=" +
                  std::to_string(m.callCounts[k]);
      }
      Print(counts + "\n" + sim::DescribeSetCalls(m) +
            "Saved to the database: " + std::to_string(m.databaseSaves) + " time(s)\n");
    } else {
      std::string text = sim::RenderDesktop(m);
      for (const sim::Fault& f : m.faults) text += "Fault: " + DescribeFault(f) + "\n";
      for (const sim::Event& e : m.events) text += "Event: " + DescribeEvent(e) + "\n";
      Print(text);
    }
    return 0;
  }
  if (command == "fault") {
    sim::Fault fault;
    const bool clear = rest == 1 && args[i] == "clear";
    if (!clear) {
      if (rest != 3) throw UsageError("fault takes FUNCTION N|every ERROR, or clear");
      fault.api = ApiArg(args[i]);
      fault.atCall = args[i + 1] == "every" ? 0 : Number32(args[i + 1], "N");
      if (args[i + 1] != "every" && fault.atCall == 0) throw UsageError("calls count from 1");
      fault.error = ErrorCode(args[i + 2]);
    }
    const LONG r = sim::UpdateMachine([&](sim::Machine& m) {
      if (clear) {
        m.faults.clear();
      } else {
        m.faults.push_back(fault);
      }
      return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS) return 1;
    Print(clear ? "Faults cleared.\n" : "Fault: " + DescribeFault(fault) + "\n");
    return 0;
  }
  if (command == "event") {
    EventArgs(args, i, 0);  // refuse bad arguments before touching the state
    sim::Event event;
    const LONG r = sim::UpdateMachine([&](sim::Machine& m) {
      event = EventArgs(args, i, m.createdAtMs);
      m.events.push_back(event);
      return ERROR_SUCCESS;
    });
    if (r != ERROR_SUCCESS) return 1;
    Print("Event: " + DescribeEvent(event) + "\n");
    return 0;
  }
  if (command == "query") {
    bool all = true;
    uint32_t repeat = 1;
    for (; i < args.size(); ++i) {
      if (args[i] == "all" || args[i] == "active") {
        all = args[i] == "all";
      } else if (args[i] == "--repeat" && i + 1 < args.size()) {
        repeat = Number32(args[++i], "--repeat");
      } else {
        throw UsageError("query takes all or active and --repeat N");
      }
    }
    std::string text;
    for (uint32_t k = 0; k < repeat; ++k) {
      const LONG r = Query(all, &text);
      if (r != ERROR_SUCCESS) return Fail("the query failed with " + std::to_string(r));
    }
    Print(text);
    return 0;
  }
  if (command == "extend") {
    if (rest != 0) throw UsageError("extend takes no arguments");
    const LONG r =
        displayapi::SetDisplayConfig(0, nullptr, 0, nullptr, SDC_APPLY | SDC_TOPOLOGY_EXTEND);
    Print("SetDisplayConfig(SDC_APPLY|SDC_TOPOLOGY_EXTEND) -> " + std::to_string(r) + "\n");
    return r == ERROR_SUCCESS ? 0 : 1;
  }
  throw UsageError("unknown command \"" + command + "\"");
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv) return Fail("cannot read the command line");
  std::vector<std::string> args;
  for (int k = 1; k < argc; ++k) args.push_back(sim::ToUtf8(argv[k]));
  LocalFree(argv);
  try {
    return Run(args);
  } catch (const UsageError& e) {
    fprintf(stderr, "dpsim: %s\n\n%s", e.message().c_str(), kUsage);
    return 2;
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
}

// The display-configuration seam served by the simulated machine: every call
// is one locked transaction on the state file in which timed events fire, the
// call is counted, an injected fault or the caller's context (a remote
// session, or session 0 which sees no display) may answer it, the machine answers or
// changes as Windows would, and call-count events fire.
#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <optional>
#include <set>
#include <string>

#include "display/display_config_api.h"
// After windows.h, which it needs.
#include <tlhelp32.h>

#include "sim/sim.h"
#include "sim/sim_account.h"
#include "sim/sim_text.h"

namespace displayapi {

namespace {

using sim::Api;
using sim::Machine;

// Far more than any real adapter has; larger counts are refused before the
// arrays are read, as a garbage count would otherwise walk off the caller's
// memory.
constexpr UINT32 kMaxArrayElements = 1024;

constexpr UINT32 kTopologyFlags = SDC_TOPOLOGY_INTERNAL | SDC_TOPOLOGY_CLONE | SDC_TOPOLOGY_EXTEND |
                                  SDC_TOPOLOGY_EXTERNAL | SDC_TOPOLOGY_SUPPLIED;
constexpr UINT32 kKnownSetFlags =
    kTopologyFlags | SDC_USE_SUPPLIED_DISPLAY_CONFIG | SDC_VALIDATE | SDC_APPLY |
    SDC_NO_OPTIMIZATION | SDC_SAVE_TO_DATABASE | SDC_ALLOW_CHANGES | SDC_PATH_PERSIST_IF_REQUIRED |
    SDC_FORCE_MODE_ENUMERATION | SDC_ALLOW_PATH_ORDER_CHANGES | SDC_VIRTUAL_MODE_AWARE;

constexpr UINT32 kQdcVirtualRefreshRateAware = 0x40;

// True while the helper gate holds this call back (sim_machine.h); a gate
// that has waited its longest is opened here, once.
bool HeldAtHelperGate(Machine& m, uint64_t waitedSinceMs) {
  if (!m.helperGate || m.CallCount(m.helperGate->api) < m.helperGate->afterCall) return false;
  if (sim::NowMs() - waitedSinceMs < sim::kHelperGateTimeoutMs) return true;
  std::fprintf(stderr,
               "simulated display stack: the helper never announced its display; "
               "the calls go on without it\n");
  m.helperGate.reset();
  return false;
}

// Whether a process runs the program at `path` (compared case-insensitively,
// as Windows compares paths).
bool ProgramRunning(const std::wstring& path) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return true;  // cannot tell: keep waiting
  auto lower = [](std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(), ::towlower);
    return text;
  };
  const std::wstring wanted = lower(path);
  const std::wstring name = wanted.substr(wanted.find_last_of(L'\\') + 1);
  bool running = false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !running;
       more = Process32NextW(snapshot, &entry)) {
    if (lower(entry.szExeFile) != name) continue;
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
    if (process == nullptr) continue;
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    if (QueryFullProcessImageNameW(process, 0, image.data(), &size)) {
      image.resize(size);
      running = lower(image) == wanted;
    }
    CloseHandle(process);
  }
  CloseHandle(snapshot);
  return running;
}

template <typename Act, typename After>
LONG Serve(Api api, Act act, After after) {
  const uint64_t since = sim::NowMs();
  for (;;) {
    bool held = false;
    std::string helper;
    const LONG result = sim::UpdateMachine([&](Machine& m) {
      if (HeldAtHelperGate(m, since)) {
        held = true;
        helper = m.helperGate->helper;
        return ERROR_SUCCESS;
      }
      sim::FireDueEvents(m, sim::NowMs());
      ++m.callCounts[static_cast<int>(api)];
      // A caller in a remote session is refused like a fault: counted,
      // nothing changed. Session 0 sees a machine without displays, and
      // whatever it asks changes nothing.
      const std::optional<LONG> fault = sim::DueFault(m, api);
      const sim::DisplayAccess access = fault ? sim::DisplayAccess{} : sim::CurrentDisplayAccess();
      LONG answer = ERROR_SUCCESS;
      if (fault) {
        answer = *fault;
      } else if (access.refusal != ERROR_SUCCESS) {
        answer = access.refusal;
      } else if (access.seesNoDisplay) {
        Machine none;
        none.adapter = m.adapter;
        answer = act(none);
      } else {
        answer = act(m);
      }
      after(m, answer);
      sim::FireDueEvents(m, sim::NowMs());
      return answer;
    });
    if (!held) return result;
    if (!helper.empty() && !ProgramRunning(sim::FromUtf8(helper))) {
      // Not started, or gone without a word: nothing is coming.
      sim::UpdateMachine([](Machine& m) {
        m.helperGate.reset();
        return ERROR_SUCCESS;
      });
      continue;
    }
    Sleep(5);
  }
}

template <typename Act>
LONG Serve(Api api, Act act) {
  return Serve(api, act, [](Machine&, LONG) {});
}

enum class View { kAllPaths, kActivePaths, kDatabase };

// Decodes the query flags: exactly one kind of query and no unknown bit.
LONG CheckQueryFlags(UINT32 flags, View* view, bool* virtualModes) {
  const UINT32 kind = flags & (QDC_ALL_PATHS | QDC_ONLY_ACTIVE_PATHS | QDC_DATABASE_CURRENT);
  const UINT32 extra = flags & ~kind;
  if (extra & ~(QDC_VIRTUAL_MODE_AWARE | QDC_INCLUDE_HMD | kQdcVirtualRefreshRateAware)) {
    return ERROR_INVALID_PARAMETER;
  }
  if (kind != QDC_ALL_PATHS && kind != QDC_ONLY_ACTIVE_PATHS && kind != QDC_DATABASE_CURRENT) {
    return ERROR_INVALID_PARAMETER;
  }
  *view = kind == QDC_ALL_PATHS           ? View::kAllPaths
          : kind == QDC_ONLY_ACTIVE_PATHS ? View::kActivePaths
                                          : View::kDatabase;
  *virtualModes = extra & QDC_VIRTUAL_MODE_AWARE;
  return ERROR_SUCCESS;
}

// With QDC_VIRTUAL_MODE_AWARE an index union holds two 16-bit halves: the
// clone group (source) or desktop image (target) below, the mode index above.
// The simulated adapter has neither clone groups nor desktop images.
UINT32 VirtualModeIndex(UINT32 index) {
  return index == DISPLAYCONFIG_PATH_MODE_IDX_INVALID ? index : (index << 16) | 0xFFFF;
}

sim::QueryAnswer Answer(const Machine& m, View view, bool virtualModes,
                        DISPLAYCONFIG_TOPOLOGY_ID* topology) {
  sim::QueryAnswer answer;
  if (view == View::kDatabase) {
    const std::optional<Machine> saved = sim::WithSavedLayout(m);
    answer = sim::BuildQueryAnswer(saved ? *saved : m, false);
    // The database keeps the modes, not the signal's timing.
    for (DISPLAYCONFIG_MODE_INFO& mode : answer.modes) {
      if (mode.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
        mode.targetMode.targetVideoSignalInfo.totalSize = {0, 0};
      }
    }
    std::set<UINT32> sources;
    for (const DISPLAYCONFIG_PATH_INFO& p : answer.paths) sources.insert(p.sourceInfo.id);
    *topology = sources.size() < answer.paths.size() ? DISPLAYCONFIG_TOPOLOGY_CLONE
                : sources.size() > 1                 ? DISPLAYCONFIG_TOPOLOGY_EXTEND
                                                     : DISPLAYCONFIG_TOPOLOGY_INTERNAL;
  } else {
    answer = sim::BuildQueryAnswer(m, view == View::kAllPaths);
  }
  if (virtualModes) {
    for (DISPLAYCONFIG_PATH_INFO& p : answer.paths) {
      p.sourceInfo.modeInfoIdx = VirtualModeIndex(p.sourceInfo.modeInfoIdx);
      p.targetInfo.modeInfoIdx = VirtualModeIndex(p.targetInfo.modeInfoIdx);
    }
  }
  return answer;
}

// Copies with truncation; the destination always ends in a null.
template <size_t N>
void CopyName(WCHAR (&dest)[N], const std::wstring& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::copy_n(text.data(), n, dest);
  std::fill(dest + n, dest + N, L'\0');
}

bool SameLuid(const LUID& a, const LUID& b) {
  return a.LowPart == b.LowPart && a.HighPart == b.HighPart;
}

// The header's size for each request type the simulation answers; 0 for a
// documented type it does not model, nullopt for an unknown type.
std::optional<size_t> PacketSize(DISPLAYCONFIG_DEVICE_INFO_TYPE type) {
  switch (type) {
    case DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME:
      return sizeof(DISPLAYCONFIG_SOURCE_DEVICE_NAME);
    case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME:
      return sizeof(DISPLAYCONFIG_TARGET_DEVICE_NAME);
    case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE:
      return sizeof(DISPLAYCONFIG_TARGET_PREFERRED_MODE);
    case DISPLAYCONFIG_DEVICE_INFO_GET_ADAPTER_NAME:
      return sizeof(DISPLAYCONFIG_ADAPTER_NAME);
    default:
      return type >= 5 && type <= 17 ? std::optional<size_t>(0) : std::nullopt;
  }
}

LONG AnswerDeviceInfo(const Machine& m, DISPLAYCONFIG_DEVICE_INFO_HEADER* header) {
  // Windows answers a packet without a whole header with ERROR_GEN_FAILURE,
  // any other wrong size or type with ERROR_INVALID_PARAMETER, and an adapter
  // it does not have with ERROR_GEN_FAILURE again.
  if (!header || header->size < sizeof *header) return ERROR_GEN_FAILURE;
  const std::optional<size_t> size = PacketSize(header->type);
  if (!size) return ERROR_INVALID_PARAMETER;
  if (*size == 0) return ERROR_NOT_SUPPORTED;
  if (header->size != *size) return ERROR_INVALID_PARAMETER;
  if (!SameLuid(header->adapterId, m.adapter)) return ERROR_GEN_FAILURE;
  const sim::Source* s = sim::FindSource(m, header->id);
  const sim::Target* t = sim::FindTarget(m, header->id);
  switch (header->type) {
    case DISPLAYCONFIG_DEVICE_INFO_GET_SOURCE_NAME: {
      if (!s) return ERROR_INVALID_PARAMETER;
      auto* packet = reinterpret_cast<DISPLAYCONFIG_SOURCE_DEVICE_NAME*>(header);
      CopyName(packet->viewGdiDeviceName, sim::FromUtf8(s->gdiName));
      return ERROR_SUCCESS;
    }
    case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_NAME: {
      if (!t) return ERROR_INVALID_PARAMETER;
      if (t->nameError != ERROR_SUCCESS) return t->nameError;
      auto* packet = reinterpret_cast<DISPLAYCONFIG_TARGET_DEVICE_NAME*>(header);
      packet->flags.value = 0;
      packet->flags.friendlyNameFromEdid = t->name.empty() ? 0 : 1;
      packet->flags.edidIdsValid = 1;
      packet->outputTechnology =
          static_cast<DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY>(t->outputTechnology);
      packet->edidManufactureId = 0;
      packet->edidProductCodeId = static_cast<UINT16>(t->id);
      packet->connectorInstance = 1;
      CopyName(packet->monitorFriendlyDeviceName, sim::FromUtf8(t->name));
      CopyName(packet->monitorDevicePath, L"\\\\?\\DISPLAY#SIM" + std::to_wstring(t->id) +
                                              L"#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}");
      return ERROR_SUCCESS;
    }
    case DISPLAYCONFIG_DEVICE_INFO_GET_TARGET_PREFERRED_MODE: {
      if (!t) return ERROR_INVALID_PARAMETER;
      auto* packet = reinterpret_cast<DISPLAYCONFIG_TARGET_PREFERRED_MODE*>(header);
      packet->width = t->preferred.width;
      packet->height = t->preferred.height;
      packet->targetMode =
          sim::TargetModeInfo(m, *t, sim::SourceMode{t->preferred.width, t->preferred.height})
              .targetMode;
      return ERROR_SUCCESS;
    }
    default: {  // the adapter's name
      auto* packet = reinterpret_cast<DISPLAYCONFIG_ADAPTER_NAME*>(header);
      CopyName(packet->adapterDevicePath,
               L"\\\\?\\PCI#VEN_1414&DEV_SIM#0#{5b45201d-f2f2-4f3b-85bb-30ff1f953599}");
      return ERROR_SUCCESS;
    }
  }
}

LONG ApplySet(Machine& m, UINT32 numPaths, const DISPLAYCONFIG_PATH_INFO* paths, UINT32 numModes,
              const DISPLAYCONFIG_MODE_INFO* modes, UINT32 flags) {
  if (flags & ~kKnownSetFlags) return ERROR_INVALID_PARAMETER;
  const bool apply = flags & SDC_APPLY;
  const bool validate = flags & SDC_VALIDATE;
  const bool supplied = flags & SDC_USE_SUPPLIED_DISPLAY_CONFIG;
  UINT32 topology = flags & kTopologyFlags;
  // With another topology flag SDC_TOPOLOGY_SUPPLIED is not refused but
  // ignored, as Microsoft documents.
  if (topology != SDC_TOPOLOGY_SUPPLIED) topology &= ~SDC_TOPOLOGY_SUPPLIED;
  if (apply == validate) return ERROR_INVALID_PARAMETER;
  if (supplied == (topology != 0)) return ERROR_INVALID_PARAMETER;
  if ((flags & SDC_NO_OPTIMIZATION) && !apply) return ERROR_INVALID_PARAMETER;
  if ((flags & SDC_SAVE_TO_DATABASE) && !supplied) return ERROR_INVALID_PARAMETER;
  if ((flags & SDC_PATH_PERSIST_IF_REQUIRED) && (supplied || topology == SDC_TOPOLOGY_SUPPLIED)) {
    return ERROR_INVALID_PARAMETER;
  }
  if ((flags & SDC_FORCE_MODE_ENUMERATION) && !(apply && supplied)) return ERROR_INVALID_PARAMETER;
  if ((flags & SDC_ALLOW_PATH_ORDER_CHANGES) && topology != SDC_TOPOLOGY_SUPPLIED) {
    return ERROR_INVALID_PARAMETER;
  }
  if (numPaths > kMaxArrayElements || numModes > kMaxArrayElements) {
    return ERROR_INVALID_PARAMETER;
  }
  if (flags & SDC_VIRTUAL_MODE_AWARE) return ERROR_NOT_SUPPORTED;

  // A supplied topology takes its modes from the database: not modelled.
  if (topology == SDC_TOPOLOGY_SUPPLIED) return ERROR_NOT_SUPPORTED;
  if (!supplied) {
    // A database topology takes no arrays at all.
    if (numPaths || paths || numModes || modes) return ERROR_INVALID_PARAMETER;
    if (topology != SDC_TOPOLOGY_EXTEND) return ERROR_NOT_SUPPORTED;
    if (!apply) {
      Machine trial = m;
      return sim::ApplyExtendTopology(trial);
    }
    return sim::ApplyExtendTopology(m);
  }

  const LONG result = sim::ApplySuppliedConfig(m, paths, numPaths, modes, numModes, apply);
  if (result == ERROR_SUCCESS && apply && (flags & SDC_SAVE_TO_DATABASE)) {
    sim::SavedLayout saved;
    saved.paths = m.paths;
    for (const sim::Source& s : m.sources) {
      if (s.mode) saved.sources.push_back(s);
    }
    m.database = saved;
    ++m.databaseSaves;
  }
  return result;
}

}  // namespace

LONG GetDisplayConfigBufferSizes(UINT32 flags, UINT32* numPathArrayElements,
                                 UINT32* numModeInfoArrayElements) {
  return Serve(Api::GetDisplayConfigBufferSizes, [&](Machine& m) -> LONG {
    if (!numPathArrayElements || !numModeInfoArrayElements) return ERROR_INVALID_PARAMETER;
    View view = View::kAllPaths;
    bool virtualModes = false;
    DISPLAYCONFIG_TOPOLOGY_ID topology{};
    if (LONG r = CheckQueryFlags(flags, &view, &virtualModes)) {
      // Refused flags still clear the counts, as Windows does.
      *numPathArrayElements = 0;
      *numModeInfoArrayElements = 0;
      return r;
    }
    const sim::QueryAnswer answer = Answer(m, view, virtualModes, &topology);
    *numPathArrayElements = static_cast<UINT32>(answer.paths.size());
    *numModeInfoArrayElements = static_cast<UINT32>(answer.modes.size());
    return ERROR_SUCCESS;
  });
}

LONG QueryDisplayConfig(UINT32 flags, UINT32* numPathArrayElements,
                        DISPLAYCONFIG_PATH_INFO* pathArray, UINT32* numModeInfoArrayElements,
                        DISPLAYCONFIG_MODE_INFO* modeInfoArray,
                        DISPLAYCONFIG_TOPOLOGY_ID* currentTopologyId) {
  return Serve(Api::QueryDisplayConfig, [&](Machine& m) -> LONG {
    if (!numPathArrayElements || !numModeInfoArrayElements || !pathArray || !modeInfoArray) {
      return ERROR_INVALID_PARAMETER;
    }
    View view = View::kAllPaths;
    bool virtualModes = false;
    if (LONG r = CheckQueryFlags(flags, &view, &virtualModes)) return r;
    // The database query reports its topology; no other query does.
    if ((view == View::kDatabase) != (currentTopologyId != nullptr)) {
      return ERROR_INVALID_PARAMETER;
    }
    // A zero count is refused whatever there is to answer.
    if (*numPathArrayElements == 0 || *numModeInfoArrayElements == 0) {
      return ERROR_INVALID_PARAMETER;
    }
    DISPLAYCONFIG_TOPOLOGY_ID topology{};
    const sim::QueryAnswer answer = Answer(m, view, virtualModes, &topology);
    if (answer.paths.size() > *numPathArrayElements ||
        answer.modes.size() > *numModeInfoArrayElements) {
      return ERROR_INSUFFICIENT_BUFFER;
    }
    std::copy(answer.paths.begin(), answer.paths.end(), pathArray);
    std::copy(answer.modes.begin(), answer.modes.end(), modeInfoArray);
    *numPathArrayElements = static_cast<UINT32>(answer.paths.size());
    *numModeInfoArrayElements = static_cast<UINT32>(answer.modes.size());
    if (currentTopologyId) *currentTopologyId = topology;
    return ERROR_SUCCESS;
  });
}

LONG DisplayConfigGetDeviceInfo(DISPLAYCONFIG_DEVICE_INFO_HEADER* requestPacket) {
  return Serve(Api::DisplayConfigGetDeviceInfo,
               [&](Machine& m) -> LONG { return AnswerDeviceInfo(m, requestPacket); });
}

LONG SetDisplayConfig(UINT32 numPathArrayElements, DISPLAYCONFIG_PATH_INFO* pathArray,
                      UINT32 numModeInfoArrayElements, DISPLAYCONFIG_MODE_INFO* modeInfoArray,
                      UINT32 flags) {
  return Serve(
      Api::SetDisplayConfig,
      [&](Machine& m) {
        return ApplySet(m, numPathArrayElements, pathArray, numModeInfoArrayElements, modeInfoArray,
                        flags);
      },
      [&](Machine& m, LONG result) {
        sim::RecordedSetCall call;
        call.flags = flags;
        call.numPathArrayElements = numPathArrayElements;
        call.numModeInfoArrayElements = numModeInfoArrayElements;
        if (pathArray && numPathArrayElements <= kMaxArrayElements) {
          call.paths.assign(pathArray, pathArray + numPathArrayElements);
        }
        if (modeInfoArray && numModeInfoArrayElements <= kMaxArrayElements) {
          call.modes.assign(modeInfoArray, modeInfoArray + numModeInfoArrayElements);
        }
        call.result = result;
        m.setCalls.push_back(call);
      });
}

}  // namespace displayapi

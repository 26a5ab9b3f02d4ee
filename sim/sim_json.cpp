// The state file's JSON form (docs/sim.md). Reading is strict about types and
// ranges so that a hand-edited file with a slip is refused with a reason
// rather than half-understood.
#include <cstddef>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "sim/sim.h"

namespace sim {

namespace {

// Keys keep the order written, so the file reads top-down like docs/sim.md.
using json = nlohmann::ordered_json;

constexpr int kFormat = 1;

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

const json& Need(const json& j, const char* key) {
  if (!j.is_object()) Fail(std::string("expected an object holding \"") + key + "\"");
  auto it = j.find(key);
  if (it == j.end()) Fail(std::string("missing \"") + key + "\"");
  return *it;
}

uint64_t U64(const json& v, const char* key) {
  if (!v.is_number_unsigned()) Fail(std::string("\"") + key + "\" must be a whole number >= 0");
  return v.get<uint64_t>();
}

uint32_t U32(const json& v, const char* key) {
  const uint64_t n = U64(v, key);
  if (n > std::numeric_limits<uint32_t>::max()) Fail(std::string("\"") + key + "\" is too large");
  return static_cast<uint32_t>(n);
}

int32_t I32(const json& v, const char* key) {
  if (!v.is_number_integer()) Fail(std::string("\"") + key + "\" must be a whole number");
  if (v.is_number_unsigned()) {
    const uint64_t n = v.get<uint64_t>();
    if (n > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
      Fail(std::string("\"") + key + "\" is out of range");
    }
    return static_cast<int32_t>(n);
  }
  const int64_t n = v.get<int64_t>();
  if (n < std::numeric_limits<int32_t>::min()) Fail(std::string("\"") + key + "\" is out of range");
  return static_cast<int32_t>(n);
}

// Windows error codes are LONG, but HRESULT-like codes are often written as
// unsigned hex values; take either.
LONG ErrorCode(const json& v, const char* key) {
  if (v.is_number_unsigned()) return static_cast<LONG>(U32(v, key));
  return I32(v, key);
}

uint32_t U32Or(const json& j, const char* key, uint32_t fallback) {
  auto it = j.find(key);
  return it == j.end() ? fallback : U32(*it, key);
}

bool BoolOr(const json& j, const char* key, bool fallback) {
  auto it = j.find(key);
  if (it == j.end()) return fallback;
  if (!it->is_boolean()) Fail(std::string("\"") + key + "\" must be true or false");
  return it->get<bool>();
}

std::string Str(const json& v, const char* key) {
  if (!v.is_string()) Fail(std::string("\"") + key + "\" must be text");
  return v.get<std::string>();
}

json LuidToJson(const LUID& l) { return json::array({l.LowPart, l.HighPart}); }

LUID LuidFromJson(const json& v, const char* key) {
  if (!v.is_array() || v.size() != 2) Fail(std::string("\"") + key + "\" must be [low, high]");
  return LUID{U32(v[0], key), I32(v[1], key)};
}

json PairToJson(uint32_t a, uint32_t b) { return json::array({a, b}); }

std::pair<uint32_t, uint32_t> PairFromJson(const json& v, const char* key) {
  if (!v.is_array() || v.size() != 2) Fail(std::string("\"") + key + "\" must be a pair");
  return {U32(v[0], key), U32(v[1], key)};
}

template <typename T, typename F>
std::vector<T> ListFromJson(const json& j, const char* key, F convert) {
  std::vector<T> out;
  auto it = j.find(key);
  if (it == j.end()) return out;
  if (!it->is_array()) Fail(std::string("\"") + key + "\" must be a list");
  for (size_t i = 0; i < it->size(); ++i) {
    try {
      out.push_back(convert((*it)[i]));
    } catch (const std::exception& e) {
      Fail(std::string(key) + "[" + std::to_string(i) + "]: " + e.what());
    }
  }
  return out;
}

// ---- the machine ----

json TargetToJson(const Target& t) {
  return json{{"id", t.id},
              {"name", t.name},
              {"available", t.available},
              {"nameError", t.nameError},
              {"preferredMode",
               {{"width", t.preferred.width},
                {"height", t.preferred.height},
                {"refreshHz", t.preferred.refreshHz}}},
              {"outputTechnology", t.outputTechnology}};
}

Target TargetFromJson(const json& j) {
  Target t;
  t.id = U32(Need(j, "id"), "id");
  t.name = Str(Need(j, "name"), "name");
  t.available = BoolOr(j, "available", true);
  if (auto it = j.find("nameError"); it != j.end()) t.nameError = ErrorCode(*it, "nameError");
  if (auto it = j.find("preferredMode"); it != j.end()) {
    t.preferred.width = U32(Need(*it, "width"), "width");
    t.preferred.height = U32(Need(*it, "height"), "height");
    t.preferred.refreshHz = U32Or(*it, "refreshHz", 60);
    if (t.preferred.width == 0 || t.preferred.height == 0 || t.preferred.refreshHz == 0) {
      Fail("target " + std::to_string(t.id) + ": the preferred mode needs a size and a rate");
    }
  }
  t.outputTechnology = U32Or(j, "outputTechnology", DISPLAYCONFIG_OUTPUT_TECHNOLOGY_HDMI);
  return t;
}

json SourceToJson(const Source& s) {
  json j{{"id", s.id}, {"gdiName", s.gdiName}};
  if (s.mode) {
    j["mode"] = {
        {"width", s.mode->width}, {"height", s.mode->height}, {"x", s.mode->x}, {"y", s.mode->y}};
  }
  return j;
}

Source SourceFromJson(const json& j) {
  Source s;
  s.id = U32(Need(j, "id"), "id");
  s.gdiName = Str(Need(j, "gdiName"), "gdiName");
  if (auto it = j.find("mode"); it != j.end() && !it->is_null()) {
    s.mode = SourceMode{U32(Need(*it, "width"), "width"), U32(Need(*it, "height"), "height"),
                        I32(Need(*it, "x"), "x"), I32(Need(*it, "y"), "y")};
  }
  return s;
}

json PathToJson(const Path& p) {
  json j{{"source", p.sourceId}, {"target", p.targetId}};
  if (p.sourceModeIdx) j["sourceModeIdx"] = *p.sourceModeIdx;
  if (!p.active) j["active"] = false;
  return j;
}

Path PathFromJson(const json& j) {
  Path p;
  p.sourceId = U32(Need(j, "source"), "source");
  p.targetId = U32(Need(j, "target"), "target");
  if (auto it = j.find("sourceModeIdx"); it != j.end()) p.sourceModeIdx = U32(*it, "sourceModeIdx");
  p.active = BoolOr(j, "active", true);
  return p;
}

Api ApiFromJson(const json& v) {
  Api api;
  if (!v.is_string() || !ParseApi(v.get<std::string>(), &api)) {
    Fail(
        "\"api\" must name one of GetDisplayConfigBufferSizes, QueryDisplayConfig, "
        "DisplayConfigGetDeviceInfo, SetDisplayConfig");
  }
  return api;
}

json FaultToJson(const Fault& f) {
  json j{{"api", ApiName(f.api)}};
  if (f.atCall == 0) {
    j["at"] = "every";
  } else {
    j["at"] = f.atCall;
  }
  j["error"] = f.error;
  return j;
}

Fault FaultFromJson(const json& j) {
  Fault f;
  f.api = ApiFromJson(Need(j, "api"));
  const json& at = Need(j, "at");
  if (at.is_string() && at.get<std::string>() == "every") {
    f.atCall = 0;
  } else {
    f.atCall = U32(at, "at");
    if (f.atCall == 0) Fail("\"at\" counts calls from 1 (or is \"every\")");
  }
  f.error = ErrorCode(Need(j, "error"), "error");
  return f;
}

constexpr std::pair<EventAction, const char*> kActions[] = {
    {EventAction::Appear, "appear"},
    {EventAction::Deactivate, "inactive"},
    {EventAction::JoinClone, "clone"},
    {EventAction::Unplug, "unplug"},
};
constexpr std::pair<AppearAs, const char*> kAppearAs[] = {
    {AppearAs::Extend, "extend"},
    {AppearAs::Clone, "clone"},
    {AppearAs::Inactive, "inactive"},
};

json EventToJson(const Event& e) {
  json j;
  if (e.afterApi) {
    j["after"] = {{"api", ApiName(*e.afterApi)}, {"call", e.afterCall}};
  } else {
    j["after"] = {{"ms", e.afterMs.value_or(0)}};
  }
  for (const auto& [action, name] : kActions) {
    if (action == e.action) j["action"] = name;
  }
  if (e.action == EventAction::Appear) {
    j["display"] = TargetToJson(e.target);
    for (const auto& [as, name] : kAppearAs) {
      if (as == e.appearAs) j["as"] = name;
    }
  } else {
    j["target"] = e.targetId;
  }
  if (e.sourceId) j["source"] = *e.sourceId;
  j["fired"] = e.fired;
  return j;
}

Event EventFromJson(const json& j) {
  Event e;
  const json& after = Need(j, "after");
  if (after.contains("ms") && after.contains("api")) {
    Fail("an event needs exactly one trigger (after a call or after ms)");
  }
  if (after.contains("ms")) {
    e.afterMs = U64(after["ms"], "ms");
  } else {
    e.afterApi = ApiFromJson(Need(after, "api"));
    e.afterCall = U32(Need(after, "call"), "call");
  }
  const std::string action = Str(Need(j, "action"), "action");
  bool known = false;
  for (const auto& [value, name] : kActions) {
    if (action == name) {
      e.action = value;
      known = true;
    }
  }
  if (!known) Fail("unknown event action \"" + action + "\" (appear, inactive, clone, unplug)");
  if (e.action == EventAction::Appear) {
    e.target = TargetFromJson(Need(j, "display"));
    const std::string as = j.contains("as") ? Str(j["as"], "as") : "extend";
    known = false;
    for (const auto& [value, name] : kAppearAs) {
      if (as == name) {
        e.appearAs = value;
        known = true;
      }
    }
    if (!known) Fail("unknown \"as\" value \"" + as + "\" (extend, clone, inactive)");
  } else {
    e.targetId = U32(Need(j, "target"), "target");
  }
  if (auto it = j.find("source"); it != j.end()) e.sourceId = U32(*it, "source");
  e.fired = BoolOr(j, "fired", false);
  return e;
}

// ---- recorded Windows structures ----

json PathInfoToJson(const DISPLAYCONFIG_PATH_INFO& p) {
  const auto& s = p.sourceInfo;
  const auto& t = p.targetInfo;
  return json{{"source",
               {{"adapter", LuidToJson(s.adapterId)},
                {"id", s.id},
                {"modeIdx", s.modeInfoIdx},
                {"status", s.statusFlags}}},
              {"target",
               {{"adapter", LuidToJson(t.adapterId)},
                {"id", t.id},
                {"modeIdx", t.modeInfoIdx},
                {"outputTechnology", static_cast<uint32_t>(t.outputTechnology)},
                {"rotation", static_cast<uint32_t>(t.rotation)},
                {"scaling", static_cast<uint32_t>(t.scaling)},
                {"refreshRate", PairToJson(t.refreshRate.Numerator, t.refreshRate.Denominator)},
                {"scanLineOrdering", static_cast<uint32_t>(t.scanLineOrdering)},
                {"available", t.targetAvailable != FALSE},
                {"status", t.statusFlags}}},
              {"flags", p.flags}};
}

DISPLAYCONFIG_PATH_INFO PathInfoFromJson(const json& j) {
  DISPLAYCONFIG_PATH_INFO p{};
  const json& s = Need(j, "source");
  p.sourceInfo.adapterId = LuidFromJson(Need(s, "adapter"), "adapter");
  p.sourceInfo.id = U32(Need(s, "id"), "id");
  p.sourceInfo.modeInfoIdx = U32(Need(s, "modeIdx"), "modeIdx");
  p.sourceInfo.statusFlags = U32Or(s, "status", 0);
  const json& t = Need(j, "target");
  p.targetInfo.adapterId = LuidFromJson(Need(t, "adapter"), "adapter");
  p.targetInfo.id = U32(Need(t, "id"), "id");
  p.targetInfo.modeInfoIdx = U32(Need(t, "modeIdx"), "modeIdx");
  p.targetInfo.outputTechnology =
      static_cast<DISPLAYCONFIG_VIDEO_OUTPUT_TECHNOLOGY>(U32Or(t, "outputTechnology", 0));
  p.targetInfo.rotation = static_cast<DISPLAYCONFIG_ROTATION>(U32Or(t, "rotation", 0));
  p.targetInfo.scaling = static_cast<DISPLAYCONFIG_SCALING>(U32Or(t, "scaling", 0));
  if (auto it = t.find("refreshRate"); it != t.end()) {
    const auto [num, den] = PairFromJson(*it, "refreshRate");
    p.targetInfo.refreshRate = {num, den};
  }
  p.targetInfo.scanLineOrdering =
      static_cast<DISPLAYCONFIG_SCANLINE_ORDERING>(U32Or(t, "scanLineOrdering", 0));
  p.targetInfo.targetAvailable = BoolOr(t, "available", false) ? TRUE : FALSE;
  p.targetInfo.statusFlags = U32Or(t, "status", 0);
  p.flags = U32Or(j, "flags", 0);
  return p;
}

constexpr size_t kUnionOffset = offsetof(DISPLAYCONFIG_MODE_INFO, targetMode);
constexpr size_t kUnionSize = sizeof(DISPLAYCONFIG_MODE_INFO) - kUnionOffset;

json ModeInfoToJson(const DISPLAYCONFIG_MODE_INFO& m) {
  json j{{"type", static_cast<uint32_t>(m.infoType)},
         {"id", m.id},
         {"adapter", LuidToJson(m.adapterId)}};
  if (m.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
    j["width"] = m.sourceMode.width;
    j["height"] = m.sourceMode.height;
    j["pixelFormat"] = static_cast<uint32_t>(m.sourceMode.pixelFormat);
    j["x"] = m.sourceMode.position.x;
    j["y"] = m.sourceMode.position.y;
  } else if (m.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
    const auto& v = m.targetMode.targetVideoSignalInfo;
    j["pixelRate"] = v.pixelRate;
    j["hSync"] = PairToJson(v.hSyncFreq.Numerator, v.hSyncFreq.Denominator);
    j["vSync"] = PairToJson(v.vSyncFreq.Numerator, v.vSyncFreq.Denominator);
    j["activeSize"] = PairToJson(v.activeSize.cx, v.activeSize.cy);
    j["totalSize"] = PairToJson(v.totalSize.cx, v.totalSize.cy);
    j["videoStandard"] = v.videoStandard;
    j["scanLineOrdering"] = static_cast<uint32_t>(v.scanLineOrdering);
  } else {
    // Kinds the simulation does not model keep their bytes.
    static const char kHex[] = "0123456789abcdef";
    const auto* bytes = reinterpret_cast<const unsigned char*>(&m) + kUnionOffset;
    std::string raw;
    for (size_t i = 0; i < kUnionSize; ++i) {
      raw += kHex[bytes[i] >> 4];
      raw += kHex[bytes[i] & 15];
    }
    j["raw"] = raw;
  }
  return j;
}

DISPLAYCONFIG_MODE_INFO ModeInfoFromJson(const json& j) {
  DISPLAYCONFIG_MODE_INFO m{};
  m.infoType = static_cast<DISPLAYCONFIG_MODE_INFO_TYPE>(U32(Need(j, "type"), "type"));
  m.id = U32(Need(j, "id"), "id");
  m.adapterId = LuidFromJson(Need(j, "adapter"), "adapter");
  if (m.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_SOURCE) {
    m.sourceMode.width = U32(Need(j, "width"), "width");
    m.sourceMode.height = U32(Need(j, "height"), "height");
    m.sourceMode.pixelFormat = static_cast<DISPLAYCONFIG_PIXELFORMAT>(U32Or(j, "pixelFormat", 0));
    m.sourceMode.position.x = I32(Need(j, "x"), "x");
    m.sourceMode.position.y = I32(Need(j, "y"), "y");
  } else if (m.infoType == DISPLAYCONFIG_MODE_INFO_TYPE_TARGET) {
    auto& v = m.targetMode.targetVideoSignalInfo;
    v.pixelRate = U64(Need(j, "pixelRate"), "pixelRate");
    auto h = PairFromJson(Need(j, "hSync"), "hSync");
    v.hSyncFreq = {h.first, h.second};
    auto vs = PairFromJson(Need(j, "vSync"), "vSync");
    v.vSyncFreq = {vs.first, vs.second};
    auto a = PairFromJson(Need(j, "activeSize"), "activeSize");
    v.activeSize = {a.first, a.second};
    auto t = PairFromJson(Need(j, "totalSize"), "totalSize");
    v.totalSize = {t.first, t.second};
    v.videoStandard = U32(Need(j, "videoStandard"), "videoStandard");
    v.scanLineOrdering = static_cast<DISPLAYCONFIG_SCANLINE_ORDERING>(
        U32(Need(j, "scanLineOrdering"), "scanLineOrdering"));
  } else if (auto it = j.find("raw"); it != j.end()) {
    const std::string raw = Str(*it, "raw");
    if (raw.size() != kUnionSize * 2) Fail("\"raw\" has the wrong length");
    auto* bytes = reinterpret_cast<unsigned char*>(&m) + kUnionOffset;
    for (size_t i = 0; i < kUnionSize; ++i) {
      bytes[i] = static_cast<unsigned char>(std::stoul(raw.substr(i * 2, 2), nullptr, 16));
    }
  }
  return m;
}

json SetCallToJson(const RecordedSetCall& c) {
  json paths = json::array();
  for (const auto& p : c.paths) paths.push_back(PathInfoToJson(p));
  json modes = json::array();
  for (const auto& m : c.modes) modes.push_back(ModeInfoToJson(m));
  return json{{"flags", c.flags},
              {"numPaths", c.numPathArrayElements},
              {"numModes", c.numModeInfoArrayElements},
              {"paths", paths},
              {"modes", modes},
              {"result", c.result}};
}

RecordedSetCall SetCallFromJson(const json& j) {
  RecordedSetCall c;
  c.flags = U32(Need(j, "flags"), "flags");
  c.numPathArrayElements = U32(Need(j, "numPaths"), "numPaths");
  c.numModeInfoArrayElements = U32(Need(j, "numModes"), "numModes");
  c.paths = ListFromJson<DISPLAYCONFIG_PATH_INFO>(j, "paths", PathInfoFromJson);
  c.modes = ListFromJson<DISPLAYCONFIG_MODE_INFO>(j, "modes", ModeInfoFromJson);
  c.result = ErrorCode(Need(j, "result"), "result");
  return c;
}

}  // namespace

std::string MachineToJson(const Machine& m) {
  json j;
  j["format"] = kFormat;
  j["createdAtMs"] = m.createdAtMs;
  j["adapter"] = LuidToJson(m.adapter);
  j["targets"] = json::array();
  for (const Target& t : m.targets) j["targets"].push_back(TargetToJson(t));
  j["sources"] = json::array();
  for (const Source& s : m.sources) j["sources"].push_back(SourceToJson(s));
  j["paths"] = json::array();
  for (const Path& p : m.paths) j["paths"].push_back(PathToJson(p));
  json counts = json::object();
  for (int i = 0; i < kApiCount; ++i) counts[ApiName(static_cast<Api>(i))] = m.callCounts[i];
  j["callCounts"] = counts;
  j["faults"] = json::array();
  for (const Fault& f : m.faults) j["faults"].push_back(FaultToJson(f));
  j["events"] = json::array();
  for (const Event& e : m.events) j["events"].push_back(EventToJson(e));
  if (m.helperGate) {
    j["helperGate"] = {{"api", ApiName(m.helperGate->api)},
                       {"call", m.helperGate->afterCall},
                       {"helper", m.helperGate->helper}};
  }
  j["setCalls"] = json::array();
  for (const RecordedSetCall& c : m.setCalls) j["setCalls"].push_back(SetCallToJson(c));
  json db{{"saves", m.databaseSaves}};
  if (m.database) {
    db["paths"] = json::array();
    for (const Path& p : m.database->paths) db["paths"].push_back(PathToJson(p));
    db["sources"] = json::array();
    for (const Source& s : m.database->sources) db["sources"].push_back(SourceToJson(s));
  }
  j["database"] = db;
  // Names typed on a command line may not be UTF-8; never let that stop a save.
  return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool MachineFromJson(const std::string& text, Machine* machine, std::string* error) {
  json j = json::parse(text, nullptr, false);
  if (j.is_discarded()) {
    if (error) *error = "not valid JSON";
    return false;
  }
  try {
    if (!j.is_object()) Fail("the state must be a JSON object");
    const uint32_t format = U32Or(j, "format", kFormat);
    if (format != kFormat) Fail("unknown format " + std::to_string(format));
    Machine m;
    if (auto it = j.find("createdAtMs"); it != j.end()) m.createdAtMs = U64(*it, "createdAtMs");
    if (auto it = j.find("adapter"); it != j.end()) m.adapter = LuidFromJson(*it, "adapter");
    m.targets = ListFromJson<Target>(j, "targets", TargetFromJson);
    m.sources = ListFromJson<Source>(j, "sources", SourceFromJson);
    m.paths = ListFromJson<Path>(j, "paths", PathFromJson);
    if (auto it = j.find("callCounts"); it != j.end()) {
      if (!it->is_object()) Fail("\"callCounts\" must be an object");
      for (const auto& [name, value] : it->items()) {
        Api api;
        if (!ParseApi(name, &api))
          Fail("\"callCounts\" names an unknown function \"" + name + "\"");
        m.callCounts[static_cast<int>(api)] = U32(value, name.c_str());
      }
    }
    m.faults = ListFromJson<Fault>(j, "faults", FaultFromJson);
    m.events = ListFromJson<Event>(j, "events", EventFromJson);
    if (auto it = j.find("helperGate"); it != j.end()) {
      if (!it->is_object()) Fail("\"helperGate\" must be an object");
      HelperGate gate;
      gate.api = ApiFromJson(Need(*it, "api"));
      gate.afterCall = U32(Need(*it, "call"), "call");
      if (it->contains("helper")) gate.helper = Str((*it)["helper"], "helper");
      m.helperGate = gate;
    }
    m.setCalls = ListFromJson<RecordedSetCall>(j, "setCalls", SetCallFromJson);
    if (auto it = j.find("database"); it != j.end()) {
      m.databaseSaves = U32Or(*it, "saves", 0);
      if (it->contains("paths") || it->contains("sources")) {
        SavedLayout saved;
        saved.paths = ListFromJson<Path>(*it, "paths", PathFromJson);
        saved.sources = ListFromJson<Source>(*it, "sources", SourceFromJson);
        m.database = saved;
      }
    }
    const std::string problem = CheckMachine(m);
    if (!problem.empty()) Fail(problem);
    *machine = std::move(m);
    return true;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}

}  // namespace sim

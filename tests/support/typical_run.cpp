#include "support/typical_run.h"

#include <mutex>

#include "common/exe_dir.h"
#include "edidgen.h"
#include "sim/sim_text.h"
#include "sim/virtual_edid.h"
#include "support/files.h"
#include "support/text.h"

namespace fs = std::filesystem;

namespace dptest {

namespace {

std::mutex g_statePath;

std::string Written(const fs::path& path, const std::string& bytes) {
  return WriteFileBytes(path, bytes) ? "" : "cannot write " + WideToAnsi(path.wstring());
}

}  // namespace

fs::path BuildDirectory() { return fs::path(GetExecutableDirectoryW()); }

std::string ProfileBytes(const Profile& p) {
  const edidgen::Result r = edidgen::GenerateEdid({p.width, p.height, p.fps}, p.name);
  if (!r.ok) return "";
  return p.raw ? std::string(r.block.begin(), r.block.end())
               : edidgen::FormatHexText(r.block.data(), r.block.size());
}

std::string NotRewritten(const std::string& bytes, const Profile& p) {
  if (bytes.size() != 128) return std::to_string(bytes.size()) + " bytes, not one raw block";
  sim::VirtualDisplaySpec shown;
  std::string why;
  if (!sim::ParseVirtualDisplayEdid(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), &shown,
                                    &why))
    return why;
  if (shown.name != "TovikMonitor") return "named \"" + shown.name + "\"";
  if (shown.width != p.width || shown.height != p.height || shown.refreshHz != p.fps)
    return "shows " + std::to_string(shown.width) + "x" + std::to_string(shown.height) + "x" +
           std::to_string(shown.refreshHz);
  return "";
}

std::string WriteProfiles(const fs::path& edidDir, const std::vector<Profile>& profiles) {
  std::error_code ignored;
  fs::create_directories(edidDir, ignored);
  for (const Profile& p : profiles) {
    const std::string bytes = ProfileBytes(p);
    if (bytes.empty())
      return "edidgen refuses " + std::to_string(p.width) + "x" + std::to_string(p.height) + "x" +
             std::to_string(p.fps);
    const std::string error =
        Written(edidDir / edidgen::ModeFileName({p.width, p.height, p.fps}), bytes);
    if (!error.empty()) return error;
  }
  return "";
}

std::string WriteSettings(const fs::path& appdata, int width, int height, int fps) {
  return Written(appdata / "harnfold" / "store.dat",
                 "[rpScreen]\r\nwidth=" + std::to_string(width) + "\r\nheight=" +
                     std::to_string(height) + "\r\nfps=" + std::to_string(fps) + "\r\n");
}

std::string InstallProgram(const std::string& program, const fs::path& to) {
  std::error_code error;
  fs::create_directories(to.parent_path(), error);
  fs::copy_file(BuildDirectory() / program, to, fs::copy_options::overwrite_existing, error);
  return error ? "cannot copy " + program + " (" + error.message() + ")" : "";
}

std::string SaveMachine(const fs::path& stateFile, const sim::Machine& machine) {
  std::lock_guard<std::mutex> lock(g_statePath);
  sim::SetStatePath(stateFile.wstring());
  std::string error;
  return sim::SaveMachine(machine, &error) ? "" : error;
}

std::optional<sim::Machine> LoadMachine(const fs::path& stateFile, std::string* error) {
  std::lock_guard<std::mutex> lock(g_statePath);
  sim::SetStatePath(stateFile.wstring());
  sim::Machine m;
  if (!sim::LoadMachine(&m, error)) return std::nullopt;
  return m;
}

std::string GateHelper(const fs::path& deployment, const std::wstring& after) {
  const fs::path helper = deployment / "wkex.exe";
  const std::string built = ReadFileBytes((BuildDirectory() / "wkex.exe").wstring());
  if (built.empty() || ReadFileBytes(helper.wstring()) != built) return "";
  const std::string value = WideToAnsi(after);
  const std::size_t colon = value.find(':');
  sim::HelperGate gate;
  if (colon == std::string::npos || !sim::ParseApi(value.substr(0, colon), &gate.api))
    return "not a call: " + value;
  gate.afterCall = static_cast<uint32_t>(std::stoul(value.substr(colon + 1)));
  gate.helper = sim::ToUtf8(helper.wstring());
  const fs::path state = deployment / "sim-state.json";
  std::error_code ignored;
  if (!fs::exists(state, ignored)) return "no machine to gate in " + WideToAnsi(state.wstring());
  std::lock_guard<std::mutex> lock(g_statePath);
  sim::SetStatePath(state.wstring());
  const LONG result = sim::UpdateMachine([&](sim::Machine& m) -> LONG {
    m.helperGate = gate;
    return ERROR_SUCCESS;
  });
  return result == ERROR_SUCCESS ? "" : "cannot gate the helper";
}

std::string DeployTypicalRun(const fs::path& deployment, const fs::path& appdata,
                             const TypicalRun& run) {
  std::string error;
  for (const std::string& program : {run.program, std::string("wkex.exe")}) {
    if (error.empty()) error = InstallProgram(program, deployment / program);
  }
  if (error.empty() && run.companion)
    error = InstallProgram("dprecord.exe", deployment / "rent_protect" / "zanbyprotect.exe");
  if (error.empty()) error = WriteProfiles(deployment / "edid", run.profiles);
  if (error.empty()) error = WriteSettings(appdata, run.width, run.height, run.fps);
  if (error.empty()) error = SaveMachine(deployment / "sim-state.json", run.machine);
  if (error.empty() && !run.helperAfter.empty()) error = GateHelper(deployment, run.helperAfter);
  return error;
}

std::map<std::wstring, std::optional<std::wstring>> TypicalRunEnvironment(
    const fs::path& appdata, const std::wstring& helperAfter) {
  std::map<std::wstring, std::optional<std::wstring>> environment = {
      {L"APPDATA", appdata.wstring()}, {L"DPSIM_STATE", std::nullopt}};
  if (!helperAfter.empty()) environment[L"WKEX_AFTER"] = helperAfter;
  return environment;
}

fs::path LogFileIn(const fs::path& appdata) { return appdata / "harnfold" / "log" / "display.log"; }

}  // namespace dptest

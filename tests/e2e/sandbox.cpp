#include "sandbox.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "common/exe_dir.h"
#include "sim/sim_text.h"
#include "support/log_capture.h"
#include "support/sim_support.h"

namespace fs = std::filesystem;

namespace {

std::string ReadWide(const std::wstring& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

Sandbox::Sandbox(const std::string& deployment) : Sandbox(dptest::AnsiToWide(deployment)) {}

Sandbox::Sandbox(const std::wstring& deployment)
    : deploymentW_(deployment.empty() ? root_.wpath() : root_.wpath() + L"\\" + deployment),
      deployment_(dptest::WideToAnsi(deploymentW_)) {
  CreateDirectoryA(appdata().c_str(), nullptr);
  CreateDirectoryW(deploymentW_.c_str(), nullptr);
}

Sandbox::Sandbox(Outside, const std::string& directory)
    : deploymentW_(dptest::AnsiToWide(directory)), deployment_(directory), outside_(true) {
  CreateDirectoryA(appdata().c_str(), nullptr);
}

Sandbox Sandbox::At(const std::string& directory) { return Sandbox(Outside{}, directory); }

Sandbox::~Sandbox() {
  if (probeHandle_ != INVALID_HANDLE_VALUE) CloseHandle(probeHandle_);
  if (!outside_) return;
  // Only what this test put there: the directory itself belongs to someone else.
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(fs::path(deploymentW_ + L"\\"), ignored))
    fs::remove_all(entry.path(), ignored);
}

void Sandbox::Install(const std::string& program, const std::string& as) {
  const std::string error =
      dptest::InstallProgram(program, fs::path(FileW(as.empty() ? program : as)));
  if (!error.empty()) ADD_FAILURE() << error;
}

void Sandbox::DeployOn(const std::string& program, const sim::Machine& machine) {
  Install(program);
  Install("wkex.exe");
  InstallCompanion();
  UseMachine(machine);
}

void Sandbox::UseMachine(const sim::Machine& machine) {
  const std::string error = dptest::SaveMachine(fs::path(FileW("sim-state.json")), machine);
  ASSERT_TRUE(error.empty()) << error;
}

void Sandbox::DeployTypicalRun() {
  dptest::TypicalRun run;
  run.machine.targets = {dptest::Monitor(0x1100, "DELL U2720Q")};
  run.machine.sources = {dptest::Shown(0, 1920, 1080, 0, 0)};
  run.machine.paths = {dptest::Link(0, 0x1100)};
  const std::string error = dptest::DeployTypicalRun(fs::path(wdir() + L"\\"),
                                                     fs::path(dptest::AnsiToWide(appdata())), run);
  ASSERT_TRUE(error.empty()) << error;
  for (const auto& [name, value] :
       dptest::TypicalRunEnvironment(fs::path(dptest::AnsiToWide(appdata()))))
    SetEnv(name, value);
}

sim::Machine Sandbox::Machine() const {
  std::string error;
  const std::optional<sim::Machine> m =
      dptest::LoadMachine(fs::path(FileW("sim-state.json")), &error);
  EXPECT_TRUE(m.has_value()) << error;
  return m.value_or(sim::Machine{});
}

void Sandbox::WriteProfiles(const std::vector<Profile>& profiles) {
  const std::string error = dptest::WriteProfiles(fs::path(FileW("edid")), profiles);
  ASSERT_TRUE(error.empty()) << error;
}

void Sandbox::WriteSettings(int width, int height, int fps) {
  const std::string error =
      dptest::WriteSettings(fs::path(dptest::AnsiToWide(appdata())), width, height, fps);
  ASSERT_TRUE(error.empty()) << error;
}

void Sandbox::Write(const std::string& name, const std::string& bytes) {
  const std::string error = dptest::WriteFile(fs::path(FileW(name)), bytes);
  ASSERT_TRUE(error.empty()) << name << ": " << error;
}

std::map<std::string, std::string> Sandbox::EdidFiles() const {
  std::map<std::string, std::string> files;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(fs::path(FileW("edid")), ignored)) {
    if (entry.is_regular_file(ignored))
      files[dptest::WideToAnsi(entry.path().filename().wstring())] =
          ReadWide(entry.path().wstring());
  }
  return files;
}

void Sandbox::SetEnv(const std::wstring& name, std::optional<std::wstring> value) {
  environment_[name] = std::move(value);
}

void Sandbox::ProbeWhatStartsInherit() {
  const std::wstring file = dptest::AnsiToWide(root_.File("launcher-handle.bin"));
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  probeHandle_ = CreateFileW(file.c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inheritable,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(probeHandle_, INVALID_HANDLE_VALUE) << GetLastError();
  for (const char* program : {"wkex.exe", "rent_protect\\zanbyprotect.exe"}) {
    std::error_code ignored;
    fs::create_directories(fs::path(FileW(program)).parent_path(), ignored);
    ASSERT_TRUE(sim::WriteHandleProbe(FileW(program), probeHandle_, file)) << program;
  }
}

RunResult Sandbox::Run(const std::string& program, const std::vector<std::wstring>& arguments,
                       bool withAppData) {
  RunOptions options;
  options.program = FileW(program);
  options.arguments = arguments;
  options.workingDirectory = dptest::AnsiToWide(workingDirectory());
  options.environment = environment_;
  options.captureDebugOutput = captureDebugOutput_;
  if (runTimeoutMs_ != 0) options.timeoutMs = runTimeoutMs_;
  if (probeHandle_ != INVALID_HANDLE_VALUE) {
    options.inheritedHandles = {probeHandle_};
    options.newConsole = true;
  }
  if (!options.environment.count(L"APPDATA") || !withAppData) {
    options.environment[L"APPDATA"] =
        withAppData ? std::optional<std::wstring>(dptest::AnsiToWide(appdata())) : std::nullopt;
  }
  // The simulated stack finds its state beside the program unless told otherwise.
  options.environment[L"DPSIM_STATE"] = std::nullopt;
  HoldCallsForHelper();
  return RunProgram(options);
}

// A helper tied to a call count registers its display whenever its process
// gets going, which on a busy machine may be several of the run's calls
// later; the gate holds the run's calls past that count until the helper has
// announced its display. Only the simulated helper opens the gate, so none is
// set for a deployment whose wkex.exe is missing or is some other program
// (byte for byte the built one, or not the simulated helper).
void Sandbox::HoldCallsForHelper() {
  const auto after = environment_.find(L"WKEX_AFTER");
  if (after != environment_.end() && after->second) GateHelper(*after->second);
}

void Sandbox::GateHelper(const std::wstring& after) {
  std::error_code ignored;
  const fs::path helper(FileW("wkex.exe"));
  if (!fs::is_regular_file(helper, ignored) ||
      ReadWide(helper.wstring()) != ReadWide(GetExecutableDirectoryW() + L"\\wkex.exe"))
    return;
  const std::string value = dptest::WideToAnsi(after);
  const std::size_t colon = value.find(':');
  sim::HelperGate gate;
  if (colon == std::string::npos || !sim::ParseApi(value.substr(0, colon), &gate.api)) return;
  gate.afterCall = static_cast<uint32_t>(std::stoul(value.substr(colon + 1)));
  sim::SetStatePath(FileW("sim-state.json"));
  sim::Machine m;
  if (!sim::LoadMachine(&m)) return;
  gate.helper = sim::ToUtf8(helper.wstring());
  m.helperGate = gate;
  std::string error;
  ASSERT_TRUE(sim::SaveMachine(m, &error)) << error;
}

std::vector<sim::StartRecord> Sandbox::CompanionStarts() const {
  return sim::ReadStartRecords(FileW("rent_protect\\zanbyprotect.starts"));
}

std::vector<sim::StartRecord> Sandbox::HelperStarts() const {
  // Complete by now: RunProgram waits for what the program started as well.
  return sim::ReadStartRecords(FileW("wkex.starts"));
}

#include "sandbox.h"

#include <windows.h>

#include <filesystem>
#include <fstream>

#include "common/exe_dir.h"
#include "edidgen.h"
#include "support/log_capture.h"
#include "support/sim_support.h"

namespace fs = std::filesystem;

std::wstring AnsiToWide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, out.data(), n);
  return out;
}

std::string WideToAnsi(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

namespace {

std::string ReadWide(const std::wstring& path) {
  std::ifstream in(fs::path(path), std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteWide(const std::wstring& path, const std::string& bytes) {
  std::error_code ignored;
  fs::create_directories(fs::path(path).parent_path(), ignored);
  std::ofstream out(fs::path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace

Sandbox::Sandbox(const std::string& deployment) : Sandbox(AnsiToWide(deployment)) {}

Sandbox::Sandbox(const std::wstring& deployment)
    : deploymentW_(deployment.empty() ? root_.wpath() : root_.wpath() + L"\\" + deployment),
      deployment_(WideToAnsi(deploymentW_)) {
  CreateDirectoryA(appdata().c_str(), nullptr);
  CreateDirectoryW(deploymentW_.c_str(), nullptr);
}

Sandbox::Sandbox(Outside, const std::string& directory)
    : deploymentW_(AnsiToWide(directory)), deployment_(directory), outside_(true) {
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
  const std::wstring from = GetExecutableDirectoryW() + L"\\" + AnsiToWide(program);
  const std::wstring to = FileW(as.empty() ? program : as);
  std::error_code ignored;
  fs::create_directories(fs::path(to).parent_path(), ignored);
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE))
    ADD_FAILURE() << "cannot copy " << program << " (error " << GetLastError() << ")";
}

void Sandbox::UseMachine(const sim::Machine& machine) {
  sim::SetStatePath(FileW("sim-state.json"));
  std::string error;
  ASSERT_TRUE(sim::SaveMachine(machine, &error)) << error;
}

void Sandbox::DeployTypicalRun() {
  Install("displayprep-sim.exe");
  Install("wkex.exe");
  InstallCompanion();
  SetEnv(L"WKEX_AFTER", L"SetDisplayConfig:1");
  sim::Machine m;
  m.targets = {simbuild::Monitor(0x1100, "DELL U2720Q")};
  m.sources = {simbuild::Shown(0, 1920, 1080, 0, 0)};
  m.paths = {simbuild::Link(0, 0x1100)};
  UseMachine(m);
  WriteProfiles({{2560, 1440, 60}, {1920, 1080, 60, true}});
  WriteSettings(2560, 1440, 60);
}

sim::Machine Sandbox::Machine() const {
  sim::SetStatePath(FileW("sim-state.json"));
  sim::Machine m;
  std::string error;
  EXPECT_TRUE(sim::LoadMachine(&m, &error)) << error;
  return m;
}

void Sandbox::WriteProfiles(const std::vector<Profile>& profiles) {
  CreateDirectoryW(FileW("edid").c_str(), nullptr);
  for (const Profile& p : profiles) {
    const edidgen::Mode mode{p.width, p.height, p.fps};
    const edidgen::Result r = edidgen::GenerateEdid(mode, "DP Virtual");
    ASSERT_TRUE(r.ok) << r.error;
    const std::string bytes = p.raw ? std::string(r.block.begin(), r.block.end())
                                    : edidgen::FormatHexText(r.block.data(), r.block.size());
    ASSERT_TRUE(WriteWide(FileW("edid\\" + edidgen::ModeFileName(mode)), bytes));
  }
}

void Sandbox::WriteSettings(int width, int height, int fps) {
  const std::string text = "[rpScreen]\r\nwidth=" + std::to_string(width) +
                           "\r\nheight=" + std::to_string(height) +
                           "\r\nfps=" + std::to_string(fps) + "\r\n";
  ASSERT_TRUE(WriteWide(AnsiToWide(appdata() + "\\harnfold\\store.dat"), text));
}

void Sandbox::Write(const std::string& name, const std::string& bytes) {
  ASSERT_TRUE(WriteWide(FileW(name), bytes)) << name;
}

std::map<std::string, std::string> Sandbox::EdidFiles() const {
  std::map<std::string, std::string> files;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(fs::path(FileW("edid")), ignored)) {
    if (entry.is_regular_file(ignored))
      files[WideToAnsi(entry.path().filename().wstring())] = ReadWide(entry.path().wstring());
  }
  return files;
}

void Sandbox::SetEnv(const std::wstring& name, std::optional<std::wstring> value) {
  environment_[name] = std::move(value);
}

void Sandbox::ProbeWhatStartsInherit() {
  const std::wstring file = AnsiToWide(root_.File("launcher-handle.bin"));
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
  options.workingDirectory = AnsiToWide(workingDirectory());
  options.environment = environment_;
  options.captureDebugOutput = captureDebugOutput_;
  if (probeHandle_ != INVALID_HANDLE_VALUE) {
    options.inheritedHandles = {probeHandle_};
    options.newConsole = true;
  }
  if (!options.environment.count(L"APPDATA") || !withAppData) {
    options.environment[L"APPDATA"] =
        withAppData ? std::optional<std::wstring>(AnsiToWide(appdata())) : std::nullopt;
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
// set for a deployment whose wkex.exe is missing or is some other program.
void Sandbox::HoldCallsForHelper() {
  const auto after = environment_.find(L"WKEX_AFTER");
  if (after == environment_.end() || !after->second) return;
  std::error_code ignored;
  const fs::path helper(FileW("wkex.exe"));
  const fs::path built(GetExecutableDirectoryW() + L"\\wkex.exe");
  if (!fs::is_regular_file(helper, ignored) ||
      fs::file_size(helper, ignored) != fs::file_size(built, ignored))
    return;
  const std::string value = WideToAnsi(*after->second);
  const std::size_t colon = value.find(':');
  sim::HelperGate gate;
  if (colon == std::string::npos || !sim::ParseApi(value.substr(0, colon), &gate.api)) return;
  gate.afterCall = static_cast<uint32_t>(std::stoul(value.substr(colon + 1)));
  sim::SetStatePath(FileW("sim-state.json"));
  sim::Machine m;
  if (!sim::LoadMachine(&m)) return;
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

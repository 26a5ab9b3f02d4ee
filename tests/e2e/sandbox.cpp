#include "sandbox.h"

#include <windows.h>

#include <filesystem>

#include "common/exe_dir.h"
#include "edidgen.h"
#include "sim/sim_text.h"
#include "support/log_capture.h"

namespace {
// Narrow paths here are in the ANSI code page, as the program's own are (the
// standard library would read them as UTF-8).
std::wstring Wide(const std::string& s) {
  const int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, out.data(), n);
  return out;
}
}  // namespace

Sandbox::Sandbox(const std::string& deployment)
    : deployment_(deployment.empty() ? root_.path() : root_.File(deployment)) {
  CreateDirectoryA(appdata().c_str(), nullptr);
  CreateDirectoryA(deployment_.c_str(), nullptr);
}

Sandbox::Sandbox(Outside, const std::string& directory) : deployment_(directory), outside_(true) {
  CreateDirectoryA(appdata().c_str(), nullptr);
}

Sandbox Sandbox::At(const std::string& directory) { return Sandbox(Outside{}, directory); }

Sandbox::~Sandbox() {
  if (!outside_) return;
  // Only what this test put there: the directory itself belongs to someone else.
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(Wide(deployment_ + "\\"), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
}

void Sandbox::Install(const std::string& program, const std::string& as) {
  const std::string from = GetExecutableDirectory() + "\\" + program;
  const std::string to = File(as.empty() ? program : as);
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(Wide(to)).parent_path(), ignored);
  if (!CopyFileA(from.c_str(), to.c_str(), FALSE))
    ADD_FAILURE() << "cannot copy " << from << " (error " << GetLastError() << ")";
}

void Sandbox::UseMachine(const sim::Machine& machine) {
  sim::SetStatePath(File("sim-state.json"));
  std::string error;
  ASSERT_TRUE(sim::SaveMachine(machine, &error)) << error;
}

sim::Machine Sandbox::Machine() const {
  sim::SetStatePath(File("sim-state.json"));
  sim::Machine m;
  std::string error;
  EXPECT_TRUE(sim::LoadMachine(&m, &error)) << error;
  return m;
}

void Sandbox::WriteProfiles(const std::vector<Profile>& profiles) {
  CreateDirectoryA(File("edid").c_str(), nullptr);
  for (const Profile& p : profiles) {
    const edidgen::Mode mode{p.width, p.height, p.fps};
    const edidgen::Result r = edidgen::GenerateEdid(mode, "DP Virtual");
    ASSERT_TRUE(r.ok) << r.error;
    const std::string bytes = p.raw ? std::string(r.block.begin(), r.block.end())
                                    : edidgen::FormatHexText(r.block.data(), r.block.size());
    ASSERT_TRUE(WriteFileBytes(File("edid\\" + edidgen::ModeFileName(mode)), bytes));
  }
}

void Sandbox::WriteSettings(int width, int height, int fps) {
  CreateDirectoryA((appdata() + "\\harnfold").c_str(), nullptr);
  const std::string text = "[rpScreen]\r\nwidth=" + std::to_string(width) +
                           "\r\nheight=" + std::to_string(height) +
                           "\r\nfps=" + std::to_string(fps) + "\r\n";
  ASSERT_TRUE(WriteFileBytes(appdata() + "\\harnfold\\store.dat", text));
}

std::map<std::string, std::string> Sandbox::EdidFiles() const {
  std::map<std::string, std::string> files;
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(Wide(File("edid")), ignored)) {
    if (entry.is_regular_file(ignored))
      files[entry.path().filename().string()] =
          ReadFileBytes(File("edid\\") + entry.path().filename().string());
  }
  return files;
}

void Sandbox::SetEnv(const std::wstring& name, std::optional<std::wstring> value) {
  environment_[name] = std::move(value);
}

RunResult Sandbox::Run(const std::string& program, const std::vector<std::wstring>& arguments,
                       bool withAppData) {
  RunOptions options;
  options.program = Wide(File(program));
  options.arguments = arguments;
  options.workingDirectory = Wide(workingDirectory());
  options.environment = environment_;
  options.captureDebugOutput = captureDebugOutput_;
  options.environment[L"APPDATA"] =
      withAppData ? std::optional<std::wstring>(Wide(appdata())) : std::nullopt;
  // The simulated stack finds its state beside the program unless told otherwise.
  options.environment[L"DPSIM_STATE"] = std::nullopt;
  return RunProgram(options);
}

std::vector<sim::StartRecord> Sandbox::CompanionStarts() const {
  return sim::ReadStartRecords(Wide(File("rent_protect\\zanbyprotect.starts")));
}

std::vector<sim::StartRecord> Sandbox::HelperStarts() const {
  // Complete by now: RunProgram waits for what the program started as well.
  return sim::ReadStartRecords(Wide(File("wkex.starts")));
}

#include "support/sandbox.h"

#include <gmock/gmock.h>
#include <windows.h>

namespace fs = std::filesystem;

namespace dptest {

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
  EXPECT_EQ(InstallProgram(program, fs::path(FileW(as.empty() ? program : as))), "");
}

void Sandbox::UseMachine(const sim::Machine& machine) {
  ASSERT_EQ(SaveMachine(fs::path(FileW("sim-state.json")), machine), "");
}

void Sandbox::DeployTypicalRun(const TypicalRun& run) {
  const fs::path appdataW(AnsiToWide(appdata()));
  // With its separator: a drive's root as the deployment is "R:\", not "R:".
  ASSERT_EQ(dptest::DeployTypicalRun(fs::path(deploymentW_ + L"\\"), appdataW, run), "");
  for (const auto& [name, value] : TypicalRunEnvironment(appdataW, run.helperAfter))
    SetEnv(name, value);
}

sim::Machine Sandbox::Machine() const {
  std::string error;
  const std::optional<sim::Machine> m = LoadMachine(fs::path(FileW("sim-state.json")), &error);
  EXPECT_TRUE(m.has_value()) << error;
  return m.value_or(sim::Machine{});
}

void Sandbox::Write(const std::string& name, const std::string& bytes) {
  ASSERT_TRUE(WriteFileBytes(FileW(name), bytes)) << "cannot write " << name;
}

void Sandbox::Remove(const std::string& name, bool folderInstead) {
  ASSERT_TRUE(DeleteFileW(FileW(name).c_str())) << "cannot delete " << name;
  if (folderInstead) {
    ASSERT_TRUE(CreateDirectoryW(FileW(name).c_str(), nullptr)) << name;
  }
}

std::map<std::string, std::string> Sandbox::EdidFiles() const {
  std::map<std::string, std::string> files;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(fs::path(FileW("edid")), ignored)) {
    if (entry.is_regular_file(ignored))
      files[WideToAnsi(entry.path().filename().wstring())] = ReadFileBytes(entry.path().wstring());
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
  if (runTimeoutMs_ != 0) options.timeoutMs = runTimeoutMs_;
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
// later: every run is gated afresh, as the helper of the run before opened
// the gate.
void Sandbox::HoldCallsForHelper() {
  const auto after = environment_.find(L"WKEX_AFTER");
  if (after == environment_.end() || !after->second) return;
  ASSERT_EQ(dptest::GateHelper(fs::path(deploymentW_ + L"\\"), *after->second), "");
}

std::string Sandbox::RunForLog(const std::string& program, RunResult* result) {
  const RunResult r = Run(program);
  EXPECT_TRUE(Ended(r));
  const std::string log = Log();
  EXPECT_THAT(StripLogPrefixes(r.output), ::testing::HasSubstr(log))
      << "the console does not carry the log:\n"
      << r.output;
  if (result != nullptr) *result = r;
  return log;
}

::testing::AssertionResult Sandbox::InOrder(const std::string& text,
                                            const std::vector<std::string>& fragments) const {
  std::vector<std::string> expanded;
  for (const std::string& fragment : fragments) expanded.push_back(Expand(fragment));
  return dptest::InOrder(text, expanded);
}

void Sandbox::ExpectHelperStart(const sim::StartRecord& s, const std::string& commandLine) const {
  EXPECT_EQ(s.commandLine, Expand(commandLine));
  EXPECT_EQ(s.currentDirectory, dir());
  EXPECT_EQ(s.startupFlags, 0ul);
  EXPECT_EQ(s.showWindow, 0u);
  if (probeHandle_ == INVALID_HANDLE_VALUE) return;
  EXPECT_TRUE(s.hasConsole) << "the helper started detached or without a console";
  EXPECT_FALSE(s.inheritedProbeHandle) << "the helper started with the program's handles";
}

void Sandbox::ExpectCompanionStart(const sim::StartRecord& s, Started how) const {
  EXPECT_EQ(s.commandLine, Expand("<Q>"));
  EXPECT_EQ(s.arguments, std::vector<std::string>{Companion()}) << "no arguments";
  if (how == Started::kInUserSession) {
    EXPECT_EQ(s.desktop, "winsta0\\default");
    EXPECT_EQ(s.startupFlags & STARTF_USESHOWWINDOW,
              static_cast<unsigned long>(STARTF_USESHOWWINDOW));
    EXPECT_EQ(s.showWindow, static_cast<unsigned>(SW_SHOW));
    EXPECT_FALSE(s.hasProbeVariable) << "the user's environment, not the program's";
    EXPECT_EQ(s.currentDirectory, workingDirectory()) << "no directory given: the program's";
  } else {
    EXPECT_TRUE(s.hasProbeVariable) << "the program's own environment";
    EXPECT_EQ(s.currentDirectory, dir()) << "the executable directory";
    EXPECT_EQ(s.startupFlags, 0ul);
  }
  if (probeHandle_ == INVALID_HANDLE_VALUE) return;
  EXPECT_TRUE(s.hasConsole) << "the companion started detached";
  EXPECT_FALSE(s.inheritedProbeHandle) << "the companion started with the program's handles";
}

std::vector<sim::StartRecord> Sandbox::CompanionStarts() const {
  return sim::ReadStartRecords(FileW("rent_protect\\zanbyprotect.starts"));
}

std::vector<sim::StartRecord> Sandbox::HelperStarts() const {
  // Complete by now: RunProgram waits for what the program started as well.
  return sim::ReadStartRecords(FileW("wkex.starts"));
}

std::string Sandbox::Expand(const std::string& text,
                            std::vector<std::pair<std::string, std::string>> more) const {
  const std::string c = Companion();
  more.insert(more.end(), {{"<D>", dir()},
                           {"<A>", appdata()},
                           {"<C>", c},
                           {"<Q>", c.find(' ') == std::string::npos ? c : "\"" + c + "\""},
                           {"<P>", File("edid\\2560x1440x60.hex")},
                           {"<P1080>", File("edid\\1920x1080x60.hex")}});
  return dptest::Expand(text, more);
}

std::shared_ptr<void> ReadOnly(const std::wstring& path) {
  const auto set = [path](bool readOnly) {
    const auto mark = [readOnly](const fs::path& p) {
      const DWORD attributes = GetFileAttributesW(p.c_str());
      EXPECT_TRUE(SetFileAttributesW(p.c_str(), readOnly ? attributes | FILE_ATTRIBUTE_READONLY
                                                         : attributes & ~FILE_ATTRIBUTE_READONLY))
          << WideToAnsi(p.wstring());
    };
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(fs::path(path), ignored))
      if (entry.is_regular_file(ignored)) mark(entry.path());
    mark(fs::path(path));
  };
  set(true);
  return std::shared_ptr<void>(nullptr, [set](void*) { set(false); });
}

::testing::AssertionResult Ended(const RunResult& r, DWORD exitCode) {
  if (!r.started) return ::testing::AssertionFailure() << "not started: error " << r.startError;
  if (r.timedOut) return ::testing::AssertionFailure() << "timed out; output:\n" << r.output;
  if (r.exitCode != exitCode)
    return ::testing::AssertionFailure()
           << "exit code " << r.exitCode << ", not " << exitCode << "; output:\n"
           << r.output;
  return ::testing::AssertionSuccess();
}

}  // namespace dptest

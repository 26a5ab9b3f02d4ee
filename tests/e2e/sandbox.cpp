#include "sandbox.h"

#include <windows.h>

#include <filesystem>

#include "common/exe_dir.h"

namespace {
std::wstring Wide(const std::string& s) { return std::filesystem::path(s).wstring(); }
}  // namespace

Sandbox::Sandbox() { CreateDirectoryA(appdata().c_str(), nullptr); }

void Sandbox::Install(const std::string& program) {
  const std::string from = GetExecutableDirectory() + "\\" + program;
  if (!CopyFileA(from.c_str(), File(program).c_str(), FALSE))
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

RunResult Sandbox::Run(const std::string& program, const std::vector<std::wstring>& arguments,
                       bool withAppData) {
  RunOptions options;
  options.program = Wide(File(program));
  options.arguments = arguments;
  options.workingDirectory = Wide(dir());
  options.environment[L"APPDATA"] =
      withAppData ? std::optional<std::wstring>(Wide(appdata())) : std::nullopt;
  // The simulated stack finds its state beside the program unless told otherwise.
  options.environment[L"DPSIM_STATE"] = std::nullopt;
  return RunProgram(options);
}

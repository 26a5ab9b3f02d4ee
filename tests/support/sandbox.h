// A deployment of the built programs in a directory of its own, as an
// operator would lay it out, with its own simulated machine and APPDATA: what
// the end-to-end tests run the programs in and judge them by.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "run_program.h"
#include "sim/sim.h"
#include "sim/start_record.h"
#include "support/files.h"
#include "support/log_capture.h"
#include "support/machines.h"
#include "support/temp_dir.h"
#include "support/text.h"
#include "support/typical_run.h"

namespace dptest {

class Sandbox {
 public:
  // The programs go into `deployment` below the sandbox (empty: the sandbox
  // itself), or into `directory` when given in full (a drive root, say);
  // APPDATA always lies inside the sandbox. The wide form may name a folder
  // with characters outside the ANSI code page.
  explicit Sandbox(const std::string& deployment = "");
  explicit Sandbox(const std::wstring& deployment);
  static Sandbox At(const std::string& directory);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Copies a program from the build's bin directory into the deployment,
  // under another name (a path below the deployment) when `as` is given.
  void Install(const std::string& program, const std::string& as = "");
  // The typical run's deployment (support/typical_run.h), and the runs'
  // environment with it: by default displayprep-sim.exe, the simulated
  // helper (its display tied to the program's first topology request), the
  // recorder as the companion, the machine with one Dell, the profiles
  // 2560x1440x60 (hex text) and 1920x1080x60 (raw), store.dat asking
  // 2560x1440 at 60 Hz.
  void DeployTypicalRun(const TypicalRun& run = {});
  void UseMachine(const sim::Machine& machine);
  sim::Machine Machine() const;

  // Writes a file below the deployment (its folders made as needed).
  void Write(const std::string& name, const std::string& bytes);
  // Deletes a file of the deployment, and puts a folder of its name in its
  // place when asked.
  void Remove(const std::string& name, bool folderInstead = false);
  // Every file below the deployment's edid folder, name -> bytes.
  std::map<std::string, std::string> EdidFiles() const;

  // What a started program gets of the program's own: the runs get a console
  // of their own and an inheritable handle, which the helper's and the
  // companion's start records then say whether they got (sim/start_record.h).
  void ProbeWhatStartsInherit();

  // How long a run may take, its descendants included (RunProgram's limit).
  void SetRunTimeout(unsigned long ms) { runTimeoutMs_ = ms; }
  // Whether the runs collect what the program sends to the debugger output.
  void CaptureDebugOutput(bool on) { captureDebugOutput_ = on; }

  // An environment variable for the runs (nullopt removes it).
  void SetEnv(const std::wstring& name, std::optional<std::wstring> value);

  // Runs an installed program with APPDATA set to appdata() (or removed).
  RunResult Run(const std::string& program, const std::vector<std::wstring>& arguments = {},
                bool withAppData = true);

  // Runs the program and hands back its log (Log()), failing the test unless
  // it ended by itself with exit code 0 and the console carried every message
  // of the log (the helper may add complaints of its own on standard error).
  std::string RunForLog(const std::string& program = "displayprep-sim.exe",
                        RunResult* result = nullptr);
  // dptest::InOrder with each fragment's placeholders filled in (Expand).
  ::testing::AssertionResult InOrder(const std::string& text,
                                     const std::vector<std::string>& fragments) const;

  // How the helper and the companion were started, one record per start.
  std::vector<sim::StartRecord> HelperStarts() const;
  std::vector<sim::StartRecord> CompanionStarts() const;
  // The helper started with `commandLine` (placeholders filled in) in the
  // deployment, nothing in its start-up record but its size; with the probe
  // (ProbeWhatStartsInherit) also with a console and none of the program's
  // handles.
  void ExpectHelperStart(const sim::StartRecord& s, const std::string& commandLine) const;
  // The companion started with no arguments, either in the user's session
  // (winsta0\default, shown, the user's environment, the run's working
  // directory) or directly (the program's environment, the deployment as its
  // directory, nothing in its start-up record); with the probe also with a
  // console and none of the program's handles.
  enum class Started { kInUserSession, kDirectly };
  void ExpectCompanionStart(const sim::StartRecord& s, Started how) const;
  std::string Companion() const { return File("rent_protect\\zanbyprotect.exe"); }

  // The deployment as the program's narrow (ANSI) calls see it.
  std::string dir() const { return deployment_; }
  // Where the runs start: the sandbox itself, not the deployment, unless
  // another directory was given.
  std::string workingDirectory() const {
    return workingDirectory_.empty() ? root_.path() : workingDirectory_;
  }
  void SetWorkingDirectory(const std::string& directory) { workingDirectory_ = directory; }
  std::string appdata() const { return root_.File("appdata"); }
  std::filesystem::path LogFile() const { return LogFileIn(AnsiToWide(appdata())); }
  // The runs' log under APPDATA as messages: prefixes removed, CR LF as "\n".
  std::string Log() const { return StripLogPrefixes(ReadFileBytes(LogFile())); }
  std::string File(const std::string& name) const { return deployment_ + "\\" + name; }
  std::wstring FileW(const std::string& name) const {
    return deploymentW_ + L"\\" + AnsiToWide(name);
  }
  // `text` with the deployment's placeholders (support/text.h) filled in:
  // <D>, <A>, <C>, <Q>, <P>, <P1080>; `more` first, for a test's own.
  std::string Expand(const std::string& text,
                     std::vector<std::pair<std::string, std::string>> more = {}) const;

 private:
  void HoldCallsForHelper();
  struct Outside {};
  Sandbox(Outside, const std::string& directory);

  TempDir root_;
  std::wstring deploymentW_;
  std::string deployment_;
  bool outside_ = false;  // the deployment is not below root_: emptied at the end
  std::map<std::wstring, std::optional<std::wstring>> environment_;
  unsigned long runTimeoutMs_ = 0;  // 0: RunProgram's own
  bool captureDebugOutput_ = false;
  std::string workingDirectory_;
  HANDLE probeHandle_ = INVALID_HANDLE_VALUE;
};

// The typical run's log in blocks, as the runs write it (placeholders:
// support/text.h): the provisioning with the one profile 2560x1440x60 (hex
// text) and store.dat asking for it; the arrangement of the one-Dell machine
// once the helper's display has come as a clone; the companion's start in the user's session,
// directly (as an ordinary account, refused the user's token), or not at all.
inline const std::string kTypicalProvision =
    "Reading config file: <A>\\harnfold\\store.dat\n"
    "Target config: width=2560, height=1440, fps=60\n"
    "Searching in directory: <D>\\edid\n"
    "Found file: 2560x1440x60.hex --> w=2560, h=1440, fps=60, distance=0\n"
    "\nClosest file: 2560x1440x60.hex (distance=0)\n"
    "Selected hex file: <P>\n"
    "edid's monitor name is DP Virtual.\n"
    "edid's monitor name change to TovikMonitor.\n"
    "Successfully changed EDID monitor name in file: <P>\n"
    "Launching wkex.exe with command: <D>\\wkex.exe /d <P>\n"
    "wkex.exe launched successfully from <D>\\wkex.exe\n";
inline const std::string kTypicalArrangement =
    "Available displays (retry 1):\n"
    "[0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]\n"
    "only 1 display.\n"
    "[Info] Force Extend mode success.\n"
    "Available displays (retry 2):\n"
    "[0] \\\\.\\DISPLAY1 DELL U2720Q (1920x1080) [Active] [Primary]\n"
    "[1] \\\\.\\DISPLAY1 TovikMonitor (1920x1080) [Active] [Primary]\n"
    "is clone mode, forcing to Extend mode...\n"
    "[Info] Force Extend mode success.\n"
    "Final available displays:\n"
    "[0] \\\\.\\DISPLAY1 DELL U2720Q (0,0)(1920x1080) [Active] [Primary]\n"
    "[1] \\\\.\\DISPLAY1 TovikMonitor (0,0)(1920x1080) [Active] [Primary]\n"
    "Switching primary display to \"TovikMonitor\"...\n"
    "Primary display successfully set to index: 1\n"
    "Primary display successfully set to \"TovikMonitor\"\n";
inline const std::string kCompanionInUserSession =
    "create process success, command_line:<Q>, process_id:<PID>.";
inline const std::string kCompanionDirectly =
    "WTSQueryUserToken failed. Error: 1314create user process failed. \n"
    "protect.exe launched successfully from <C>\n";
inline const std::string kNoCompanion =
    "Target executable not found: <C>create user process failed. \n"
    "Target executable not found: <C>\n";

// What the typical run leaves (dptest::Layout): the virtual monitor primary
// at its own mode, the Dell to its right.
inline const std::string kTypicalLayout =
    "TovikMonitor 2560x1440 at (0,0)\n"
    "DELL U2720Q 1920x1080 at (2560,0)\n";

// A file, or a folder and the files in it, read-only until the holder
// handed back is gone, then writable again (Wine refuses to delete a
// read-only file, so the sandbox could not be removed otherwise).
std::shared_ptr<void> ReadOnly(const std::wstring& path);

// A parameterised test's name: its row's `name`, for INSTANTIATE_TEST_SUITE_P.
inline constexpr auto ByName = [](const auto& info) { return std::string(info.param.name); };

// Whether a run started and ended by itself (no timeout) with `exitCode`;
// otherwise what it showed.
::testing::AssertionResult Ended(const RunResult& r, DWORD exitCode = 0);

}  // namespace dptest

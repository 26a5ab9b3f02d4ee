// A deployment of displayprep-sim.exe in a directory of its own, as an
// operator would lay it out, with its own simulated machine and APPDATA.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "run_program.h"
#include "sim/sim.h"
#include "sim/start_record.h"
#include "support/temp_dir.h"
#include "support/text.h"
#include "support/typical_run.h"

using dptest::Profile;

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
  // The recorder in place of the companion program.
  void InstallCompanion() { Install("dprecord.exe", "rent_protect\\zanbyprotect.exe"); }
  // The program, the simulated helper and the companion, on this machine.
  void DeployOn(const std::string& program, const sim::Machine& machine);
  void UseMachine(const sim::Machine& machine);
  // The typical run's deployment: displayprep-sim.exe, the simulated helper
  // (tied to the program's first topology request, so that what each
  // attempt sees never depends on timing), the recorder as the companion; a
  // machine with one physical display; the profiles 2560x1440x60 (hex text)
  // and 1920x1080x60 (raw); store.dat asking 2560x1440 at 60 Hz.
  void DeployTypicalRun();
  sim::Machine Machine() const;

  // Writes "edid\WxHxF.hex" for each profile (hex text or raw bytes).
  void WriteProfiles(const std::vector<Profile>& profiles);
  // Writes %APPDATA%\harnfold\store.dat asking for this mode.
  void WriteSettings(int width, int height, int fps);
  // Writes a file below the deployment (its folders made as needed).
  void Write(const std::string& name, const std::string& bytes);
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

  // Holds the simulated stack's calls past `after` ("FUNCTION:N", as
  // WKEX_AFTER reads) until the deployment's simulated helper has announced
  // its display. The runs set it themselves from WKEX_AFTER; a program
  // started some other way (by a service, say) needs it set beforehand.
  void GateHelper(const std::wstring& after);

  // An environment variable for the runs (nullopt removes it).
  void SetEnv(const std::wstring& name, std::optional<std::wstring> value);

  // Runs an installed program with APPDATA set to appdata() (or removed).
  RunResult Run(const std::string& program, const std::vector<std::wstring>& arguments = {},
                bool withAppData = true);

  // How the helper and the companion were started, one record per start.
  std::vector<sim::StartRecord> HelperStarts() const;
  std::vector<sim::StartRecord> CompanionStarts() const;
  std::string Companion() const { return File("rent_protect\\zanbyprotect.exe"); }

  // The deployment as the program's narrow (ANSI) calls see it, and in full.
  std::string dir() const { return deployment_; }
  const std::wstring& wdir() const { return deploymentW_; }
  // Where the runs start: the sandbox itself, not the deployment, unless
  // another directory was given.
  std::string workingDirectory() const {
    return workingDirectory_.empty() ? root_.path() : workingDirectory_;
  }
  void SetWorkingDirectory(const std::string& directory) { workingDirectory_ = directory; }
  std::string appdata() const { return root_.File("appdata"); }
  std::string LogFile() const { return appdata() + "\\harnfold\\log\\display.log"; }
  std::string File(const std::string& name) const { return deployment_ + "\\" + name; }
  std::wstring FileW(const std::string& name) const {
    return deploymentW_ + L"\\" + dptest::AnsiToWide(name);
  }

 private:
  void HoldCallsForHelper();
  struct Outside {};
  Sandbox(Outside, const std::string& directory);

  dptest::TempDir root_;
  std::wstring deploymentW_;
  std::string deployment_;
  bool outside_ = false;  // the deployment is not below root_: emptied at the end
  std::map<std::wstring, std::optional<std::wstring>> environment_;
  unsigned long runTimeoutMs_ = 0;  // 0: RunProgram's own
  bool captureDebugOutput_ = false;
  std::string workingDirectory_;
  HANDLE probeHandle_ = INVALID_HANDLE_VALUE;
};

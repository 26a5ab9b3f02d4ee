// A deployment of displayprep-sim.exe in a directory of its own, as an
// operator would lay it out, with its own simulated machine and APPDATA.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "run_program.h"
#include "sim/sim.h"
#include "support/temp_dir.h"

class Sandbox {
 public:
  Sandbox();

  // Copies a program from the build's bin directory into the sandbox.
  void Install(const std::string& program);
  void UseMachine(const sim::Machine& machine);
  sim::Machine Machine() const;

  // Runs an installed program with APPDATA set to appdata() (or removed).
  RunResult Run(const std::string& program, const std::vector<std::wstring>& arguments = {},
                bool withAppData = true);

  std::string dir() const { return dir_.path(); }
  std::string appdata() const { return dir_.File("appdata"); }
  std::string LogFile() const { return appdata() + "\\harnfold\\log\\display.log"; }
  std::string File(const std::string& name) const { return dir_.File(name); }

 private:
  TempDir dir_;
};

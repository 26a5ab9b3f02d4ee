// The wanted mode of the virtual monitor, read from the per-user settings file
// store.dat, and the executable directory that the profile choice needs.
#pragma once

#include <string>

struct TargetMode {
  int width = 0;
  int height = 0;
  int fps = 0;
  std::string exeDir;  // filled by the provisioning sequence, never by ReadTargetMode
};

// Where the wish was read from, for a caller that reports it (the pre-flight
// check) rather than reading the log.
struct SettingsSource {
  std::string path;         // the file read (the fallback when the first was missing)
  bool appDataSet = true;   // false: APPDATA missing, empty or too long
  std::string missingPath;  // the first path tried, when it was missing (or a folder)
};

// Fills width, height and fps from "<APPDATA>\harnfold\store.dat", section
// "rpScreen", with the defaults 1920, 1080 and 60 for whatever is missing.
// Never fails: every problem ends in a fallback value and a log line. Says
// where it read in `source` when given.
void ReadTargetMode(TargetMode& mode, SettingsSource* source = nullptr);

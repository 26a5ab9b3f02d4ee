// The EDID profile choice over folders of 10, 1,000 and 10,000 profile names:
// the time of SelectEdidProfile, logging every candidate to a real log file
// as a run does, and its cost per name, to show that it grows linearly. The
// cost of one log line (its file is opened and closed for every message) is
// measured alongside, so that the choice's own share shows.
//
//   bench_select [REPEATS]   (default 3; the fastest is printed)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "log/log.h"
#include "provision/edid_profile.h"
#include "provision/profile_name.h"

namespace fs = std::filesystem;

namespace {

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// The scan without any log line: the directory listing, the name match and
// the distance, as the choice does them.
double ScanOnlyMs(const fs::path& edidDir, const TargetMode& target, int repeats) {
  double best = 1e300;
  for (int r = 0; r < repeats; ++r) {
    const double start = NowMs();
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileExW((edidDir / "*.hex").c_str(), FindExInfoBasic, &entry,
                                     FindExSearchNameMatch, nullptr, 0);
    ProfileDistance closest{~0ull, ~0ull};
    if (search != INVALID_HANDLE_VALUE) {
      do {
        EdidProfile p;
        if (ParseProfileName(fs::path(entry.cFileName).string(), p) == ProfileNameMatch::kMatch)
          closest =
              std::min(closest, ComputeProfileDistance(p, target.width, target.height, target.fps));
      } while (FindNextFileW(search, &entry));
      FindClose(search);
    }
    best = std::min(best, NowMs() - start);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const fs::path root =
      fs::path(temp) / ("dp-bench-select-" + std::to_string(GetCurrentProcessId()));

  // The figures go to standard error. Standard output, the log's console
  // channel, goes to a file while measuring, as under a scheduler: a console
  // or NUL under Wine costs far more per write than all the rest.
  const int console = _dup(1);
  const fs::path sink = root / "console.txt";
  fs::create_directories(root);
  for (const int count : {10, 1000, 10000}) {
    const fs::path dir = root / std::to_string(count);
    fs::create_directories(dir / "edid");
    for (int i = 0; i < count; ++i) {
      const std::string name = std::to_string(1000 + i) + "x" + std::to_string(600 + i % 997) +
                               "x" + std::to_string(24 + i % 217) + ".hex";
      std::ofstream(dir / "edid" / name);
    }
    TargetMode target;
    target.width = 2560;
    target.height = 1440;
    target.fps = 60;
    target.exeDir = dir.string();
    SetLogFilePathForTesting((dir / "display.log").string());

    // Fastest of the repeats, with the log file as a run has it and with a
    // log file that cannot be opened (the console and the debugger still get
    // every line): the difference is what opening, appending to and closing
    // the file for every line costs.
    auto measure = [&](const fs::path& log, std::string* chosen) {
      SetLogFilePathForTesting(log.string());
      double best = 1e300;
      for (int r = 0; r < repeats; ++r) {
        std::fflush(stdout);
        std::freopen(sink.string().c_str(), "w", stdout);
        const double start = NowMs();
        *chosen = SelectEdidProfile(target);
        best = std::min(best, NowMs() - start);
        std::fflush(stdout);
        _dup2(console, 1);
      }
      return best;
    };
    std::string chosen, chosenWithoutFile;
    const double withFile = measure(dir / "display.log", &chosen);
    const double withoutFile = measure(dir / "no such folder" / "display.log", &chosenWithoutFile);
    std::fprintf(
        stderr,
        "(b) %5d names: %8.1f ms (%5.1f us a name)%s; without the log file %7.1f ms "
        "(%5.1f us a name)%s\n",
        count, withFile, withFile * 1000.0 / count,
        count == 10000 ? (withFile < 200 ? " (target under 200 ms)" : " OVER TARGET (200 ms)") : "",
        withoutFile, withoutFile * 1000.0 / count,
        chosen.empty() || chosen != chosenWithoutFile ? "  WRONG CHOICE" : "");
    const double scan = ScanOnlyMs(dir / "edid", target, repeats);
    std::fprintf(stderr, "    listing and scoring alone, no log line: %7.1f ms (%5.1f us a name)\n",
                 scan, scan * 1000.0 / count);
  }
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}

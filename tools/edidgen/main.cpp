// edidgen WxHxF ... [--raw|--hex] [--name TEXT] [-o DIR]
// Writes one EDID file per mode, named "WxHxF.hex", as hex text (default) or
// raw bytes. Exit code 0 when every mode was written, 1 when any mode was
// refused or could not be written, 2 for a usage error.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "edidgen.h"

namespace {

constexpr const char* kDefaultName = "DP Virtual";

int Usage(const char* problem) {
  std::fprintf(stderr,
               "edidgen: %s\n"
               "usage: edidgen WxHxF ... [--raw|--hex] [--name TEXT] [-o DIR]\n"
               "  writes DIR/WxHxF.hex per mode: an EDID 1.4 base block whose preferred\n"
               "  timing is CVT reduced blanking for that mode\n"
               "  --hex        hex text, 32 digits a line, CR LF (default)\n"
               "  --raw        the 128 raw bytes\n"
               "  --name TEXT  product name, 1 to 13 printable ASCII characters (default \"%s\")\n"
               "  -o DIR       output directory, created when missing (default: current)\n",
               problem, kDefaultName);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<edidgen::Mode> modes;
  bool raw = false;
  std::string name = kDefaultName;
  std::filesystem::path outDir = ".";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--raw") {
      raw = true;
    } else if (arg == "--hex") {
      raw = false;
    } else if (arg == "--name" || arg == "-o") {
      if (i + 1 >= argc) return Usage((arg + " needs a value").c_str());
      if (arg == "-o") {
        outDir = argv[++i];
      } else {
        name = argv[++i];
      }
    } else if (arg == "-h" || arg == "--help") {
      Usage("writes EDID files");
      return 0;
    } else {
      edidgen::Mode mode;
      if (!edidgen::ParseMode(arg, mode)) return Usage(("not a mode WxHxF: " + arg).c_str());
      modes.push_back(mode);
    }
  }
  if (modes.empty()) return Usage("no mode given");

  std::error_code ec;
  std::filesystem::create_directories(outDir, ec);
  if (ec) {
    std::fprintf(stderr, "edidgen: cannot create %s: %s\n", outDir.string().c_str(),
                 ec.message().c_str());
    return 1;
  }

  int status = 0;
  for (const edidgen::Mode& mode : modes) {
    const edidgen::Result r = edidgen::GenerateEdid(mode, name);
    if (!r.ok) {
      std::fprintf(stderr, "edidgen: refused %s\n", r.error.c_str());
      status = 1;
      continue;
    }
    const std::string content = raw ? std::string(r.block.begin(), r.block.end())
                                    : edidgen::FormatHexText(r.block.data(), r.block.size());
    const std::filesystem::path file = outDir / edidgen::ModeFileName(mode);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "edidgen: cannot write %s\n", file.string().c_str());
      status = 1;
      continue;
    }
    std::printf("%s: CVT-RB v%d, %llu.%03llu MHz, %zu bytes (%s)\n", file.string().c_str(),
                r.timing.version,
                static_cast<unsigned long long>(r.timing.pixelClockHz / 1'000'000),
                static_cast<unsigned long long>(r.timing.pixelClockHz % 1'000'000 / 1000),
                content.size(), raw ? "raw" : "hex text");
  }
  return status;
}

// edidgen WxHxF ... [--raw|--hex] [--name TEXT] [-o DIR]
// Writes one EDID file per mode, named "WxHxF.hex", as hex text (default) or
// raw bytes. Exit code 0 when every mode was written, 1 when any mode was
// refused or could not be written, 2 for a usage error.
// edidgen import FILE [--raw|--hex] [-o DIR]
// Makes a profile of a monitor's EDID in FILE (see import.h), named for its
// preferred mode; exit code 0 when written, 1 when refused, 2 for a usage error.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "edidgen.h"
#include "import.h"
#include "provision/edid_form.h"

namespace {

constexpr const char* kDefaultName = "DP Virtual";

int Usage(const char* problem) {
  std::fprintf(stderr,
               "edidgen: %s\n"
               "usage: edidgen WxHxF ... [--raw|--hex] [--name TEXT] [-o DIR]\n"
               "       edidgen import FILE [--raw|--hex] [-o DIR]\n"
               "  writes DIR/WxHxF.hex per mode: an EDID 1.4 base block whose preferred\n"
               "  timing is CVT reduced blanking for that mode\n"
               "  --hex        hex text, 32 digits a line, CR LF (default)\n"
               "  --raw        the 128 raw bytes\n"
               "  --name TEXT  product name, 1 to 13 printable ASCII characters (default \"%s\")\n"
               "  -o DIR       output directory, created when missing (default: current)\n"
               "  import: FILE holds a monitor's EDID, raw or as hex text, a registry value\n"
               "  or export, a C array or an edid-decode report; writes DIR/WxHxF.hex for its\n"
               "  preferred mode, with the monitor name TovikMonitor\n",
               problem, kDefaultName);
  return 2;
}

bool MakeDirectory(const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec)
    std::fprintf(stderr, "edidgen: cannot create %s: %s\n", dir.string().c_str(),
                 ec.message().c_str());
  return !ec;
}

bool WriteProfile(const std::filesystem::path& file, const std::string& content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  if (!out) std::fprintf(stderr, "edidgen: cannot write %s\n", file.string().c_str());
  return static_cast<bool>(out);
}

std::string Content(const std::uint8_t* data, std::size_t size, bool raw) {
  return raw ? std::string(data, data + size) : edidgen::FormatHexText(data, size);
}

int Import(int argc, char** argv) {
  std::string input;
  bool raw = false;
  std::filesystem::path outDir = ".";
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--raw" || arg == "--hex") {
      raw = arg == "--raw";
    } else if (arg == "-o") {
      if (i + 1 >= argc) return Usage("-o needs a value");
      outDir = argv[++i];
    } else if (input.empty()) {
      input = arg;
    } else {
      return Usage("import takes one FILE");
    }
  }
  if (input.empty()) return Usage("import needs a FILE");

  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(input, ec);
  std::ifstream in(input, std::ios::binary);
  if (ec || !in) {
    std::fprintf(stderr, "edidgen: cannot read %s\n", input.c_str());
    return 1;
  }
  if (size > static_cast<std::uintmax_t>(kMaxEdidFileSize)) {
    std::fprintf(stderr,
                 "edidgen: refused %s: %llu bytes, more than the %lld an EDID file may have\n",
                 input.c_str(), static_cast<unsigned long long>(size),
                 static_cast<long long>(kMaxEdidFileSize));
    return 1;
  }
  const std::string data{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const edidgen::Imported r = edidgen::ImportEdid(data.data(), data.size());
  if (!r.ok) {
    std::fprintf(stderr, "edidgen: refused %s: %s\n", input.c_str(), r.error.c_str());
    return 1;
  }
  const std::string content = Content(r.edid.data(), r.edid.size(), raw);
  const std::filesystem::path file = outDir / edidgen::ModeFileName(r.mode);
  if (!MakeDirectory(outDir) || !WriteProfile(file, content)) return 1;
  std::printf("%s: %s; %zu bytes (%s)\n", file.string().c_str(), r.summary.c_str(), content.size(),
              raw ? "raw" : "hex text");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "import") return Import(argc, argv);
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

  if (!MakeDirectory(outDir)) return 1;

  int status = 0;
  for (const edidgen::Mode& mode : modes) {
    const edidgen::Result r = edidgen::GenerateEdid(mode, name);
    if (!r.ok) {
      std::fprintf(stderr, "edidgen: refused %s\n", r.error.c_str());
      status = 1;
      continue;
    }
    const std::string content = Content(r.block.data(), r.block.size(), raw);
    const std::filesystem::path file = outDir / edidgen::ModeFileName(mode);
    if (!WriteProfile(file, content)) {
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

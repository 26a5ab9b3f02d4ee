// make_seeds DIR: writes the fuzz targets' starting inputs into DIR/<target>/,
// made by the generator and shaped like the tests' fixtures: nothing is taken
// from a real monitor.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "edidgen.h"

namespace fs = std::filesystem;

namespace {

int written = 0;

void Write(const fs::path& dir, const std::string& name, const std::string& bytes) {
  fs::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary) << bytes;
  ++written;
}

std::string Block(std::uint32_t w, std::uint32_t h, std::uint32_t f, const std::string& name) {
  const edidgen::Result r = edidgen::GenerateEdid({w, h, f}, name);
  return r.ok ? std::string(r.block.begin(), r.block.end()) : std::string();
}

std::string Hex(const std::string& bytes, bool lower, const std::string& between) {
  const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    out += digits[b >> 4];
    out += digits[b & 15];
    out += (i % 16 == 15) ? "\r\n" : between;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const fs::path root = argv[1];
  const std::vector<std::string> blocks = {Block(1920, 1080, 60, "DP Virtual"),
                                           Block(2560, 1440, 60, "TovikMonitor"),
                                           Block(3840, 2160, 30, "X"), Block(1280, 720, 144, "")};
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const std::string& b = blocks[i];
    const std::string n = std::to_string(i);
    for (const char* t : {"edid_reader", "hex_text"}) {
      Write(root / t, "raw-" + n, b);
      Write(root / t, "hex-" + n,
            edidgen::FormatHexText(reinterpret_cast<const std::uint8_t*>(b.data()), b.size()));
      Write(root / t, "hex-lower-spaced-" + n, Hex(b, true, " "));
    }
    Write(root / "edid_reader", "two-blocks-" + n, b + std::string(128, '\x11'));
    // name_rewrite: up to 24 bytes of name (ended by NUL), then the content.
    Write(root / "name_rewrite", "renamed-" + n, std::string("TovikMonitor", 12) + '\0' + b);
  }
  for (const char* name : {"1920x1080x60.hex", "0060x0x1.hex", "99999999999x1x1.hex",
                           "edid_1920x1080x60.hex", "1920X1080x60.hex", "2147483647x1x1.hex"})
    Write(root / "profile_name", name, std::string(12, '\x01') + name);
  for (const char* format :
       {"[%zu] %ws %ws (%ux%u)%s%s\n", "Found file: %s --> w=%d, h=%d, fps=%d, distance=%s\n",
        "create process success, command_line:%ls, process_id:%lu.", "Error %ld: %ws\n",
        "%-5s|%05d|%.3ws|%%|%x"}) {
    Write(root / "log_format", "format-" + std::to_string(written),
          std::string(1, '\x01') + format + '\0' + std::string(64, 'A'));
  }
  for (const char* path : {"C:\\tools\\displayprep.exe", "C:\\program.exe", "program.exe",
                           "C:\\\x95\x5C\\\x95\x5C.exe", "C:/a\\b/c.exe"})
    Write(root / "module_dir", "path-" + std::to_string(written),
          std::string("\x01\x10\x00", 3) + path);
  Write(root / "edidgen", "1080p",
        std::string("\x80\x07\x00\x00\x38\x04\x00\x00\x3c\x00\x00\x00TovikMonitor", 24));
  return written > 0 ? 0 : 1;
}

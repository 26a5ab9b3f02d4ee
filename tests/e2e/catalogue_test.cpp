// The bad-input catalogue: the whole run with one thing wrong in what it is
// given (settings, EDID files, paths, environment, log, the programs beside
// it). Every run must exit 0, say in its log what it met, start the companion
// where it stands, and leave unchanged what it was not asked to change: the
// settings file always, the profile it did not choose always, and whatever
// each case names.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "edidgen.h"
#include "support/edid_bytes.h"
#include "support/sandbox.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using dptest::Sandbox;

using Hold = std::shared_ptr<void>;  // whatever a case keeps during the run

std::string Block(const std::string& name = "DP Virtual") {
  return dptest::AsText(dptest::GeneratedBlock(2560, 1440, 60, name));
}
std::string Hex(const std::string& bytes) {
  return edidgen::FormatHexText(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}
std::string Checksummed(std::string b) {
  dptest::FixChecksum(b);
  return b;
}
// ASCII text as UTF-16 with its byte-order mark.
std::string Utf16(const std::string& ascii) {
  std::string out = "\xFF\xFE";
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}

// Holds a file open with the given sharing for the length of the run.
Hold HoldOpen(const std::wstring& path, DWORD share, DWORD disposition = OPEN_EXISTING) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << "cannot hold the file";
  return Hold(h, [](void* p) {
    if (p != INVALID_HANDLE_VALUE) CloseHandle(p);
  });
}

// Where the run's log is to be read.
enum class LogAt { kAppData, kBesideTheProgram, kConsoleOnly };
// What becomes of the profile the run chose (when it chose one).
enum class Chosen { kRenamed, kUnchanged };

struct BadInput {
  std::string name;
  std::function<void(Sandbox&)> arrange = nullptr;  // nullptr: nothing but the path
  // In the log, in order (placeholders: support/text.h).
  std::vector<std::string> logged;
  std::function<Hold(Sandbox&)> hold = nullptr;  // held open or locked during the run
  std::vector<std::string> notLogged = {};
  Chosen chosen = Chosen::kRenamed;
  LogAt logAt = LogAt::kAppData;
  bool companion = true;
  std::wstring deployment = L"";
  std::function<void(Sandbox&)> unchanged = nullptr;  // further checks afterwards
};

void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }

std::vector<BadInput> Catalogue();

class BadInputs : public ::testing::TestWithParam<BadInput> {};

TEST_P(BadInputs, KeepGoingSayWhatAndLoseNothing) {
  const BadInput& c = GetParam();
  Sandbox box(c.deployment);
  box.DeployTypicalRun();
  if (c.arrange) c.arrange(box);
  const Hold hold = c.hold ? c.hold(box) : nullptr;
  const std::string settingsBefore = dptest::ReadFileBytes(box.appdata() + "\\harnfold\\store.dat");
  const std::map<std::string, std::string> profilesBefore = box.EdidFiles();

  const RunResult r = box.Run("displayprep-sim.exe");
  ASSERT_TRUE(dptest::Ended(r));
  const std::string inAppData = dptest::ReadFileBytes(box.LogFile());
  const std::string beside = dptest::ReadFileBytes(box.File("display.log"));
  const std::string log =
      dptest::StripLogPrefixes(c.logAt == LogAt::kAppData            ? inAppData
                               : c.logAt == LogAt::kBesideTheProgram ? beside
                                                                     : r.output);
  if (std::getenv("DP_CATALOGUE_SHOW")) std::printf("--- %s\n%s\n", c.name.c_str(), log.c_str());
  EXPECT_EQ(inAppData.empty(), c.logAt != LogAt::kAppData) << "the log under APPDATA";
  EXPECT_EQ(beside.empty(), c.logAt != LogAt::kBesideTheProgram) << "the log beside the program";
  // Whatever the file got, the console got it all.
  EXPECT_THAT(dptest::StripLogPrefixes(r.output), HasSubstr(log));

  EXPECT_TRUE(box.InOrder(log, c.logged));
  for (const std::string& fragment : c.notLogged)
    EXPECT_THAT(log, Not(HasSubstr(box.Expand(fragment)))) << fragment << "\n" << log;
  EXPECT_EQ(box.CompanionStarts().size(), c.companion ? 1u : 0u);
  EXPECT_EQ(dptest::ReadFileBytes(box.appdata() + "\\harnfold\\store.dat"), settingsBefore)
      << "the settings file is only read";

  // The profiles: the chosen one renamed whole or as it was, every other as it was.
  std::string chosenName;
  const std::string selected = "Selected hex file: " + box.dir() + "\\edid\\";
  if (const std::size_t s = log.find(selected); s != std::string::npos)
    chosenName = log.substr(s + selected.size(), log.find('\n', s) - s - selected.size());
  const std::map<std::string, std::string> profilesAfter = box.EdidFiles();
  for (const auto& [name, before] : profilesBefore) {
    const std::string after = profilesAfter.count(name) ? profilesAfter.at(name) : "(gone)";
    if (name != chosenName || c.chosen == Chosen::kUnchanged) {
      EXPECT_TRUE(after == before) << name << " changed";
    } else {
      EXPECT_TRUE(after.size() % 128 == 0 && after.size() > 0 &&
                  after.find("TovikMonitor\n") != std::string::npos)
          << name << " is not renamed whole (" << after.size() << " bytes)";
    }
  }
  if (c.unchanged) c.unchanged(box);
}

INSTANTIATE_TEST_SUITE_P(Catalogue, BadInputs, ::testing::ValuesIn(Catalogue()), dptest::ByName);

// The lines most cases end with.
const std::string kPrimary = "Primary display successfully set to \"TovikMonitor\"\n";
const std::string kAbort = "ERROR: After 5 retries, still detected inactive displays, abort.\n";
const std::string kNotFound = "ERROR: Target display \"TovikMonitor\" not found!\n";
const std::string kCompanion = "create process success, command_line:<Q>";
const std::string kChosen = "Selected hex file: <P>\n";
const std::string kChosen1080 = "Selected hex file: <P1080>\n";
const std::string kLaunched = "wkex.exe launched successfully from <D>\\wkex.exe\n";
const std::string kFailedRead = "read edid file failed, expect 128, buf read ";
const std::string kNoProfile = "No matching .hex files found.\n" + kFailedRead +
                               "0.LaunchKexWithHex: best_hex is empty, skip launching.\n";
const std::string kFallbackSettings =
    "Reading config file: C:\\Users\\Administrator\\AppData\\Roaming\\harnfold\\store.dat\n";
const std::string kDefaults = "Target config: width=1920, height=1080, fps=60\n";

std::string Config(int w, int h, int f) {
  return "Target config: width=" + std::to_string(w) + ", height=" + std::to_string(h) +
         ", fps=" + std::to_string(f) + "\n";
}

std::vector<BadInput> Catalogue() {
  std::vector<BadInput> cases;
  auto settings = [](std::string text) {
    return [text](Sandbox& box) {
      EXPECT_TRUE(dptest::WriteFileBytes(box.appdata() + "\\harnfold\\store.dat", text));
    };
  };
  auto chosen = [](std::string bytes) {
    return [bytes](Sandbox& box) { box.Write("edid\\2560x1440x60.hex", bytes); };
  };
  auto profilesOnly = [](std::vector<std::pair<std::string, std::string>> files) {
    return [files](Sandbox& box) {
      std::error_code ignored;
      std::filesystem::remove_all(std::filesystem::path(box.FileW("edid")), ignored);
      for (const auto& [name, bytes] : files) box.Write("edid\\" + name, bytes);
    };
  };
  auto remove = [](std::string name, bool folderInstead) {
    return [name, folderInstead](Sandbox& box) { box.Remove(name, folderInstead); };
  };
  auto appdata = [](std::optional<std::wstring> value) {
    return [value](Sandbox& box) { box.SetEnv(L"APPDATA", value); };
  };
  const std::string readSettings = "Reading config file: <A>\\harnfold\\store.dat\n";
  const std::string noEdidFolder = "No .hex files found in directory: <D>\\edid\n" + kNoProfile;
  const std::string quoted = "Launching wkex.exe with command: \"<D>\\wkex.exe\" /d \"<P>\"\n";
  const std::string helperFailed =
      "Failed to launch wkex.exe from path \"<D>\\wkex.exe\", GetLastError=";

  // --- settings: whatever the profile reader makes of them is the wish, and
  // the run goes on with it (this profile reader is Wine's: it reads a sign,
  // a 0x prefix, UTF-16 and wraps beyond 32 bits).
  cases.push_back({"SettingsTextValues",
                   settings("[rpScreen]\r\nwidth=wide\r\nheight=tall\r\nfps=fast\r\n"),
                   {Config(0, 0, 0), kChosen1080, kLaunched, kPrimary, kCompanion}});
  cases.push_back({"SettingsNegativeNumbers",
                   settings("[rpScreen]\r\nwidth=-2560\r\nheight=-1440\r\nfps=-60\r\n"),
                   {Config(-2560, -1440, -60), kChosen1080, kPrimary, kCompanion}});
  cases.push_back({"SettingsBeyond32Bits",
                   settings("[rpScreen]\r\nwidth=99999999999\r\nheight=4294967297\r\nfps=60\r\n"),
                   {Config(1215752191, 1, 60), kChosen, kPrimary, kCompanion}});
  cases.push_back({"SettingsHexPrefix",
                   settings("[rpScreen]\r\nwidth=0xA00\r\nheight=0x5A0\r\nfps=0x3C\r\n"),
                   {Config(2560, 1440, 60), kChosen, kPrimary, kCompanion}});
  cases.push_back({"SettingsSectionMissing",
                   settings("[screen]\r\nwidth=2560\r\n"),
                   {readSettings, kDefaults, kChosen1080, kPrimary}});
  cases.push_back({"SettingsBinaryGarbage",
                   settings(std::string("\x00\x01\xFE[rp\x7F\xFF=\x00\x13", 12)),
                   {kDefaults, kChosen1080, kPrimary, kCompanion}});
  cases.push_back({"SettingsUtf16WithBom",
                   settings(Utf16("[rpScreen]\r\nwidth=2560\r\nheight=1440\r\nfps=60\r\n")),
                   {Config(2560, 1440, 60), kChosen, kPrimary}});
  cases.push_back({"SettingsBlanksAndCase",
                   settings("[RPSCREEN]\r\n Width = 2560 \r\nHEIGHT=1440\r\nfps =60\r\n"),
                   {Config(2560, 1440, 60), kChosen, kPrimary}});
  cases.push_back({.name = "SettingsEmptyFile",
                   .arrange = settings(""),
                   .logged = {kDefaults, kChosen1080, kPrimary},
                   .notLogged = {"File does not exist"}});
  cases.push_back({"SettingsDirectory",
                   [](Sandbox& box) {
                     const std::string file = box.appdata() + "\\harnfold\\store.dat";
                     ASSERT_TRUE(DeleteFileA(file.c_str()));
                     ASSERT_TRUE(CreateDirectoryA(file.c_str(), nullptr));
                   },
                   {"File does not exist: <A>\\harnfold\\store.dat\n" + kFallbackSettings,
                    kDefaults, kChosen1080, kPrimary}});
  // A settings file that cannot be opened reads as one without keys.
  cases.push_back({.name = "SettingsHeldExclusively",
                   .logged = {readSettings, kDefaults, kChosen1080, kPrimary},
                   .hold = [](Sandbox& box) {
                     return HoldOpen(dptest::AnsiToWide(box.appdata() + "\\harnfold\\store.dat"),
                                     0);
                   }});

  // --- EDID files: the chosen profile as it should not be. The helper, given
  // a file it cannot use, adds nothing, and the loop ends after five attempts.
  cases.push_back({.name = "EdidEmpty",
                   .arrange = chosen(""),
                   .logged = {kChosen, kFailedRead + "0.Launching wkex.exe", kAbort, kCompanion},
                   .chosen = Chosen::kUnchanged});
  cases.push_back({.name = "EdidHex127Bytes",
                   .arrange = chosen(Hex(Block().substr(0, 127))),
                   .logged = {kChosen, kFailedRead + "127.Launching", kAbort},
                   .chosen = Chosen::kUnchanged});
  // 129 bytes: no rewrite, but the helper takes the first 128 as its EDID,
  // with its old name, so the virtual monitor appears under that name.
  cases.push_back({.name = "EdidHex129Bytes",
                   .arrange = chosen(Hex(Block() + "\x01")),
                   .logged = {kChosen, kFailedRead + "129.Launching", kNotFound, kCompanion},
                   .chosen = Chosen::kUnchanged});
  cases.push_back(
      {.name = "EdidNonHexCharacters",
       .arrange = chosen(std::string(256, 'Z') + "\r\n"),
       .logged = {kChosen,
                  "first bytes don't match EDID version 1 headerdo not trust output (if any)."
                  "change_edid_monitor_name() failed, code=0\n",
                  kAbort},
       .chosen = Chosen::kUnchanged});
  cases.push_back(
      {.name = "EdidTwoMebibytes",
       .arrange = chosen(std::string(2 << 20, '0')),
       .logged = {kChosen,
                  "read edid <P> failed: the file has 2097152 bytes, more than the 1048576 an "
                  "EDID file may have.\n" +
                      kFailedRead + "0.",
                  kAbort},
       .chosen = Chosen::kUnchanged});
  cases.push_back(
      {.name = "EdidReadOnly",
       .logged = {kChosen, "Failed to open EDID file for writing: <P>\n", kLaunched, kNotFound},
       .hold = [](Sandbox& box) { return dptest::ReadOnly(box.FileW("edid\\2560x1440x60.hex")); },
       .chosen = Chosen::kUnchanged});
  cases.push_back(
      {.name = "EdidHeldExclusively",
       .logged = {kChosen, kFailedRead + "0.Launching", kAbort},
       .hold = [](Sandbox& box) { return HoldOpen(box.FileW("edid\\2560x1440x60.hex"), 0); },
       .chosen = Chosen::kUnchanged});
  cases.push_back({"EdidDirectoryNamedLikeAProfile",
                   remove("edid\\2560x1440x60.hex", true),
                   {kChosen, kFailedRead + "0.Launching", kAbort, kCompanion}});
  {
    std::string b = Block();
    b[90 + 3] = '\xFE';
    cases.push_back({.name = "EdidNoNameDescriptor",
                     .arrange = chosen(Checksummed(b)),
                     .logged = {kChosen, "change_edid_monitor_name() failed, code=0\n", kAbort},
                     .notLogged = {"edid's monitor name"},
                     .chosen = Chosen::kUnchanged});
    // The first of two name descriptors is renamed; the helper reads the first.
    b = Block();
    std::copy_n(b.begin() + 90, 18, b.begin() + 108);
    cases.push_back({"EdidTwoNameDescriptors",
                     chosen(Checksummed(b)),
                     {kChosen, "edid's monitor name is DP Virtual.\n", kPrimary}});
    // An old name with a byte outside ASCII (é in code page 1252).
    b = Block("Cafe Screen");
    b[90 + 5 + 3] = '\xE9';
    cases.push_back({"EdidNonAsciiName",
                     chosen(Hex(Checksummed(b))),
                     {kChosen, "edid's monitor name is Caf\xE9 Screen.\n", kPrimary}});
  }
  cases.push_back(
      {.name = "EdidWithExtensionBlock",
       .arrange = chosen(Block() + std::string(128, '\x11')),
       .logged = {kChosen, "Successfully changed EDID monitor name in file: <P>\n", kPrimary},
       .unchanged = [](Sandbox& box) {
         const std::string after = box.EdidFiles()["2560x1440x60.hex"];
         ASSERT_EQ(after.size(), 256u);
         EXPECT_EQ(after.substr(128), std::string(128, '\x11')) << "the extension kept";
       }});
  cases.push_back({"EdidFolderMissing", profilesOnly({}), {noEdidFolder, kAbort, kCompanion}});
  cases.push_back({"EdidFolderIsAFile",
                   [profilesOnly](Sandbox& box) {
                     profilesOnly({})(box);
                     box.Write("edid", "not a folder");
                   },
                   {noEdidFolder, kAbort}});
  cases.push_back({.name = "EdidNamesOnlyNearlyProfiles",
                   .arrange = profilesOnly({{"2560x1440x60.HEX", Block()},
                                            {"2560X1440x60.hex", Block()},
                                            {"edid_2560x1440x60.hex", Block()},
                                            {"readme.hex", Block()}}),
                   .logged = {"Searching in directory: <D>\\edid\n" + kNoProfile, kAbort},
                   .notLogged = {"Found file"}});
  cases.push_back(
      {"EdidNumberBeyond32Bits",
       profilesOnly({{"99999999999x1440x60.hex", Block()}}),
       {"Skipping file: 99999999999x1440x60.hex (a number does not fit a 32-bit integer)\n" +
            kNoProfile,
        kAbort}});

  // --- paths of the deployment
  cases.push_back({.name = "PathWithSpaces",
                   .logged = {kChosen, quoted, kLaunched, kPrimary, kCompanion},
                   .deployment = L"my display tools"});
  // Outside the ANSI code page the narrow module name holds substitutes, so
  // no profile is found there; the companion, reached by its wide path, starts.
  cases.push_back({.name = "PathOutsideTheAnsiCodePage",
                   .logged = {"No .hex files found in directory: ", kNoProfile, kAbort,
                              "create process success"},
                   .deployment = L"\u0394\u03B9\u03B1\u03C6\u03AC\u03BD\u03B5\u03B9\u03B1"});
  cases.push_back({.name = "PathWithAQuote",
                   .logged = {kChosen, quoted, kPrimary},
                   .deployment = L"operator's tools"});
  cases.push_back({.name = "PathNear260",
                   .logged = {kChosen, kLaunched, kPrimary, kCompanion},
                   .deployment = std::wstring(150, L'p')});

  // --- the environment: without a usable APPDATA the settings come from the
  // fallback path and the log lies beside the program.
  const std::pair<const char*, std::optional<std::wstring>> unusable[] = {
      {"AppDataMissing", std::nullopt},
      {"AppDataEmpty", L""},
      {"AppData260", L"C:\\" + std::wstring(257, L'd')},
      {"AppData261", L"C:\\" + std::wstring(258, L'd')}};
  for (const auto& [name, value] : unusable) {
    cases.push_back({.name = name,
                     .arrange = appdata(value),
                     .logged = {"Failed to get APPDATA path.\n", "File does not exist: ",
                                kFallbackSettings, kDefaults, kChosen1080, kPrimary, kCompanion},
                     .logAt = LogAt::kBesideTheProgram});
  }
  // 259 characters are read; no folder can be made below a path that long
  // whose parent does not exist, so the log is the console's alone.
  cases.push_back(
      {.name = "AppData259",
       .arrange = appdata(L"C:\\" + std::wstring(256, L'd')),
       .logged = {"File does not exist: C:\\" + std::string(256, 'd') + "\\harnfold\\store.dat\n",
                  kFallbackSettings, kPrimary},
       .notLogged = {"Failed to get APPDATA path."},
       .logAt = LogAt::kConsoleOnly});
  cases.push_back({.name = "AppDataIsAFile",
                   .arrange =
                       [](Sandbox& box) {
                         EXPECT_TRUE(dptest::WriteFileBytes(box.appdata() + "\\plain-file", "x"));
                         box.SetEnv(L"APPDATA", dptest::AnsiToWide(box.appdata() + "\\plain-file"));
                       },
                   .logged = {"File does not exist: <A>\\plain-file\\harnfold\\store.dat\n",
                              kFallbackSettings, kPrimary},
                   .logAt = LogAt::kConsoleOnly,
                   .unchanged =
                       [](Sandbox& box) {
                         EXPECT_EQ(dptest::ReadFileBytes(box.appdata() + "\\plain-file"), "x");
                       }});

  // --- the log itself: a log file that cannot be written loses its lines
  // to the console only, and nothing else is lost.
  cases.push_back({.name = "LogHeldExclusively",
                   .logged = {kChosen, kPrimary, kCompanion},
                   .hold =
                       [](Sandbox& box) {
                         CreateDirectoryA((box.appdata() + "\\harnfold\\log").c_str(), nullptr);
                         return HoldOpen(box.LogFile(), 0, CREATE_ALWAYS);
                       },
                   .logAt = LogAt::kConsoleOnly});
  cases.push_back(
      {.name = "LogDirectoryIsAFile",
       .arrange =
           [](Sandbox& box) {
             EXPECT_TRUE(dptest::WriteFileBytes(box.appdata() + "\\harnfold\\log", "not a folder"));
           },
       .logged = {kChosen, kPrimary, kCompanion},
       .logAt = LogAt::kConsoleOnly,
       .unchanged =
           [](Sandbox& box) {
             EXPECT_EQ(dptest::ReadFileBytes(box.appdata() + "\\harnfold\\log"), "not a folder");
           }});
  cases.push_back(
      {.name = "TraceFileHeldExclusively",
       .logged = {kChosen, kPrimary, kCompanion},
       .hold = [](Sandbox&) { return HoldOpen(L"c:\\dp.log", FILE_SHARE_READ, OPEN_ALWAYS); }});

  // --- the programs beside it
  cases.push_back({"HelperMissing",
                   remove("wkex.exe", false),
                   {kChosen, helperFailed + "2\n", kAbort, kCompanion}});
  // The system's code for starting a folder: 5 on Windows, 6 under Wine.
  cases.push_back(
      {"HelperIsADirectory", remove("wkex.exe", true), {kChosen, helperFailed, kAbort}});
  cases.push_back({.name = "CompanionMissing",
                   .arrange = remove("rent_protect\\zanbyprotect.exe", false),
                   .logged = {kPrimary, dptest::kNoCompanion},
                   .companion = false});
  cases.push_back({.name = "CompanionIsADirectory",
                   .arrange = remove("rent_protect\\zanbyprotect.exe", true),
                   .logged = {kPrimary, "CreateProcessAsUser failed. Error: ",
                              "create user process failed. \n"
                              "Failed to launch protect.exe (Path: <C>), Error="},
                   .companion = false});
  return cases;
}

}  // namespace

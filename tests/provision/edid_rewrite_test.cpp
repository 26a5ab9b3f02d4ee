#include "provision/edid_rewrite.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <string>
#include <vector>

#include "fake_file/fake_file.h"
#include "support/edid_bytes.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"
#include "support/text.h"

namespace {

using dptest::AsBytes;
using dptest::AsText;
using dptest::BlockSum;
using dptest::Bytes;
using dptest::FixChecksum;
using dptest::GeneratedBlock;
using dptest::HexText;
using dptest::WithDescriptor;
using dptest::WithName;

constexpr const char* kName = "TovikMonitor";

Bytes Base() { return GeneratedBlock(1920, 1080, 60); }

// The generator's hex text: 16 pairs a line, CR LF.
std::string Hex(const Bytes& bytes) { return HexText(bytes, 16, "", "\r\n"); }

std::string ReadFailed(int bytesRead) {
  return "read edid file failed, expect 128, buf read " + std::to_string(bytesRead) + ".";
}

// The rewrite's outcome, "rewritten" or "refused", then what it logged.
std::string Rewrite(const char* file, const char* name = kName) {
  dptest::LogCapture log;
  const bool rewritten = change_edid_monitor_name(file, name);
  return (rewritten ? "rewritten\n" : "refused\n") + log.Messages();
}

class EdidRewriteTest : public ::testing::Test {
 protected:
  void SetUp() override { fakefile::Reset(); }
  void TearDown() override { fakefile::Reset(); }

  std::string Path() const { return dir_.File("1920x1080x60.hex"); }

  // Everything in the directory: after any run, only the EDID file itself.
  std::vector<std::string> Entries() const { return dptest::FindNames(dir_.path() + "\\*"); }

  // The generator's hex text written as the file; returns it.
  std::string WriteHex() const {
    const std::string text = Hex(Base());
    EXPECT_TRUE(dptest::WriteFileBytes(Path(), text));
    return text;
  }

  std::string SuccessLog(const std::string& oldName, const std::string& newName) const {
    return "edid's monitor name is " + oldName + ".\nedid's monitor name change to " + newName +
           ".\nSuccessfully changed EDID monitor name in file: " + Path() + "\n";
  }

  dptest::TempDir dir_;
};

const std::vector<std::string> kOnlyTheFile = {"1920x1080x60.hex"};
// What a rewrite of the generated file logs before it writes.
const std::string kNamesLogged =
    "edid's monitor name is DP Virtual.\nedid's monitor name change to TovikMonitor.\n";

Bytes Extension() {
  Bytes ext(128);
  for (std::size_t i = 0; i < ext.size(); ++i) ext[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return ext;
}

Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Bytes Edited(Bytes block, const std::function<void(Bytes&)>& edit) {
  edit(block);
  FixChecksum(block);
  return block;
}

void CopySlot(Bytes& block, int from, int to) {
  std::copy_n(block.begin() + 54 + 18 * (from - 1), 18, block.begin() + 54 + 18 * (to - 1));
}

// Digits of `bytes` with one of the six white-space characters after every digit.
std::string SpacedDigits(const Bytes& bytes) {
  const std::string hex = HexText(bytes, 1u << 20, "", "");
  const char spaces[] = {' ', '\t', '\n', '\v', '\f', '\r'};
  std::string out = "\r\n";  // 512 characters alone would be taken for raw bytes
  for (std::size_t i = 0; i < hex.size(); ++i) {
    out += hex[i];
    out += spaces[i % 6];
  }
  return out;
}

// Successful rewrites: the file as found, the bytes expected afterwards, the
// name given and the names the log shows.
struct SuccessCase {
  std::string label;
  std::string file;
  Bytes expected;
  std::string monitorname = kName;
  std::string oldName = "DP Virtual";
  std::string headerMessages = "";  // logged before the names when the header is wrong
};

void PrintTo(const SuccessCase& c, std::ostream* os) { *os << c.label; }

// A base block with slot 3's name moved to `slot` and slot 3 left a dummy descriptor.
Bytes NameMovedTo(int slot) {
  return WithDescriptor(Edited(Base(), [slot](Bytes& b) { CopySlot(b, 3, slot); }), 3, 0x10);
}

std::vector<SuccessCase> SuccessCases() {
  const Bytes base = Base();
  const Bytes renamed = WithName(base, 3, kName);
  const Bytes twoBlocks = Concat(base, Extension()), twoRenamed = Concat(renamed, Extension());
  // 16 lines of 16 digits, a blank after each digit, CR LF: 544 bytes, one block.
  std::string blankAfterDigits;
  const std::string hex = HexText(base, 1u << 20, "", "");
  for (std::size_t i = 0; i < hex.size(); ++i)
    blankAfterDigits += hex.substr(i, 1) + (i % 16 == 15 ? " \r\n" : " ");
  std::string mixed = HexText(base, 16, " ", "\r\n", true);
  for (std::size_t i = 0; i < mixed.size(); i += 2)
    mixed[i] = static_cast<char>(std::toupper(mixed[i]));
  // Slots 1 and 2 both detailed timings, the name in slot 3.
  const Bytes twoTimings = Edited(base, [](Bytes& b) { CopySlot(b, 1, 2); });
  const Bytes two = WithDescriptor(base, 2, 0xFC, "First");
  const Bytes full = WithDescriptor(base, 3, 0xFC, "ABCDEFGHIJKLM");
  const Bytes wrong = Edited(base, [](Bytes& b) {
    b[0] = 0x01;
    b[7] = 0x42;
  });
  const Bytes marked = Edited(base, [](Bytes& b) { b[90 + 4] = 0x7E; });
  std::vector<SuccessCase> cases = {
      {"GeneratorHexText", Hex(base), renamed},
      {"Hex544OneBlock", blankAfterDigits, renamed},
      {"Hex544TwoBlocks", Hex(twoBlocks), twoRenamed},
      // 16 blank-separated values a line, LF (edid-decode -o hex): 384 bytes a
      // block, a length raw bytes have too.
      {"EdidDecodeHex384", HexText(base, 16, " ", "\n", true), renamed},
      {"SixteenValuesALine768TwoBlocks", HexText(twoBlocks, 16, " ", "\n"), twoRenamed},
      {"LowerCaseHex", HexText(base, 16, "", "\r\n", true), renamed},
      {"MixedCaseHex", mixed, renamed},
      {"WhiteSpaceInsidePairs", SpacedDigits(base), renamed},
      {"TrailingLoneDigitDropped", Hex(base) + "F", renamed},
      {"RawWithExtension", AsText(twoBlocks), twoRenamed},
      {"NameInSlot3AfterTwoTimings", AsText(twoTimings), WithName(twoTimings, 3, kName)},
      {"FirstOfTwoNameDescriptors", AsText(two), WithName(two, 2, kName), kName, "First"},
      {"ThirteenCharacterOldName", AsText(full), WithName(full, 3, kName), kName, "ABCDEFGHIJKLM"},
      {"WrongHeaderStillRenamed", Hex(wrong), WithName(wrong, 3, kName), kName, "DP Virtual",
       "first bytes don't match EDID version 1 headerdo not trust output (if any)."},
      {"DescriptorByte4Kept", AsText(marked), WithName(marked, 3, kName)},
      {"ShortNameKeepsFieldTail", AsText(base), WithName(base, 3, "Abc"), "Abc"},
      // Cut to 12 characters: nothing beyond the 13-byte field changes.
      {"LongNameIsCut", AsText(base), renamed, "TovikMonitorXYZ"},
  };
  for (int slot : {1, 2, 4}) {
    const Bytes moved = NameMovedTo(slot);
    cases.push_back(
        {"NameInSlot" + std::to_string(slot), AsText(moved), WithName(moved, slot, kName)});
  }
  return cases;
}

class RewriteSucceedsTest : public EdidRewriteTest,
                            public ::testing::WithParamInterface<SuccessCase> {};

TEST_P(RewriteSucceedsTest, WritesRawBytesWithNameAndChecksum) {
  const SuccessCase& c = GetParam();
  ASSERT_TRUE(dptest::WriteFileBytes(Path(), c.file));

  EXPECT_EQ(Rewrite(Path().c_str(), c.monitorname.c_str()),
            "rewritten\n" + c.headerMessages + SuccessLog(c.oldName, c.monitorname.substr(0, 12)));
  const Bytes written = AsBytes(dptest::ReadFileBytes(Path()));
  EXPECT_EQ(written, c.expected);
  EXPECT_EQ(BlockSum(written), 0u);
  EXPECT_EQ(Entries(), kOnlyTheFile);
}

INSTANTIATE_TEST_SUITE_P(Files, RewriteSucceedsTest, ::testing::ValuesIn(SuccessCases()),
                         [](const auto& info) { return info.param.label; });

TEST_F(EdidRewriteTest, SecondRunGivesTheSameBytes) {
  WriteHex();
  ASSERT_EQ(Rewrite(Path().c_str()), "rewritten\n" + SuccessLog("DP Virtual", kName));
  const std::string first = dptest::ReadFileBytes(Path());

  EXPECT_EQ(Rewrite(Path().c_str()), "rewritten\n" + SuccessLog("TovikMonitor", "TovikMonitor"));

  EXPECT_EQ(dptest::ReadFileBytes(Path()), first);
  EXPECT_EQ(first.size(), 128u);
}

TEST_F(EdidRewriteTest, OneMebibyteIsTheLargestAccepted) {
  Bytes content = Base();
  content.resize(1u << 20, 0x5A);
  ASSERT_TRUE(dptest::WriteFileBytes(Path(), AsText(content)));

  EXPECT_EQ(Rewrite(Path().c_str()), "rewritten\n" + SuccessLog("DP Virtual", kName));

  // The block renamed, the rest as it was (not printed: a mebibyte).
  Bytes expected = WithName(Base(), 3, kName);
  expected.resize(content.size(), 0x5A);
  EXPECT_TRUE(AsBytes(dptest::ReadFileBytes(Path())) == expected);
}

// Refusals: the file as found and the log; the file must stay byte for byte.
struct FailureCase {
  std::string label;
  std::string file;
  std::string log;  // with "%s" standing for the path
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.label; }

std::vector<FailureCase> FailureCases() {
  const Bytes base = Base();
  const std::string noName = "change_edid_monitor_name() failed, code=0\n";
  std::vector<FailureCase> cases = {
      // Raw bytes start with the header; without it 128 bytes are hex text.
      {"RawLengthWithoutHeader", std::string(128, '\x01'), ReadFailed(64)},
      {"Hex127Bytes", Hex(Bytes(base.begin(), base.end() - 1)), ReadFailed(127)},
      {"Hex129Bytes", Hex(Concat(base, {0x00})), ReadFailed(129)},
      {"Hex255Bytes", Hex(Concat(base, Bytes(127, 0x11))), ReadFailed(255)},
      {"EmptyFile", "", ReadFailed(0)},
      {"OnlyWhiteSpace", " \r\n\t ", ReadFailed(0)},
      {"NoNameDescriptor", AsText(Edited(base, [](Bytes& b) { b[90 + 3] = 0xFE; })), noName},
  };
  // A slot is a display descriptor only when its bytes 0, 1 and 2 are all 0.
  for (int byte : {0, 1, 2}) {
    cases.push_back({"NameTagWithByte" + std::to_string(byte) + "Set",
                     AsText(Edited(base, [byte](Bytes& b) { b[90 + byte] = 0x01; })), noName});
  }
  cases.push_back({"LargerThanOneMebibyte", std::string((1u << 20) + 1, '0'),
                   "read edid %s failed: the file has 1048577 bytes, more than the 1048576 an "
                   "EDID file may have.\n" +
                       ReadFailed(0)});
  return cases;
}

class RewriteRefusedTest : public EdidRewriteTest,
                           public ::testing::WithParamInterface<FailureCase> {};

TEST_P(RewriteRefusedTest, LeavesTheFileAsItWas) {
  const FailureCase& c = GetParam();
  ASSERT_TRUE(dptest::WriteFileBytes(Path(), c.file));

  EXPECT_EQ(Rewrite(Path().c_str()), "refused\n" + dptest::Expand(c.log, {{"%s", Path()}}));
  EXPECT_TRUE(dptest::ReadFileBytes(Path()) == c.file) << "file changed";
  EXPECT_EQ(Entries(), kOnlyTheFile);
}

INSTANTIATE_TEST_SUITE_P(Files, RewriteRefusedTest, ::testing::ValuesIn(FailureCases()),
                         [](const auto& info) { return info.param.label; });

TEST_F(EdidRewriteTest, MissingFileOrEmptyPathIsAFailedRead) {
  for (const std::string& path : {Path(), std::string()}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Rewrite(path.c_str()), "refused\n" + ReadFailed(0));
    EXPECT_TRUE(Entries().empty());
  }
}

TEST_F(EdidRewriteTest, NullArgumentsAreRefused) {
  ASSERT_TRUE(dptest::WriteFileBytes(Path(), AsText(Base())));
  const std::string path = Path();
  for (auto [file, name] : {std::pair<const char*, const char*>{nullptr, kName},
                            {path.c_str(), nullptr},
                            {nullptr, nullptr}}) {
    EXPECT_EQ(
        Rewrite(file, name),
        "refused\nchange_edid_monitor_name: invalid argument (filename or monitorname is null)\n");
  }
  EXPECT_EQ(dptest::ReadFileBytes(Path()), AsText(Base()));
}

TEST_F(EdidRewriteTest, ReadOnlyFileStaysUnchanged) {
  const std::string original = WriteHex();
  ASSERT_TRUE(SetFileAttributesA(Path().c_str(), FILE_ATTRIBUTE_READONLY));

  const std::string outcome = Rewrite(Path().c_str());

  const DWORD attributes = GetFileAttributesA(Path().c_str());
  SetFileAttributesA(Path().c_str(), FILE_ATTRIBUTE_NORMAL);  // so that TempDir can remove it
  EXPECT_EQ(outcome,
            "refused\n" + kNamesLogged + "Failed to open EDID file for writing: " + Path() + "\n");
  EXPECT_EQ(dptest::ReadFileBytes(Path()), original);
  EXPECT_NE(attributes & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(Entries(), kOnlyTheFile);
}

// Another holder of the file: exclusively (not even reading is possible), or
// letting others read but not write.
struct HolderCase {
  const char* label;
  DWORD share;
  std::string log;  // after the path is known: "%s" stands for it
};

void PrintTo(const HolderCase& c, std::ostream* os) { *os << c.label; }

class HeldOpenTest : public EdidRewriteTest, public ::testing::WithParamInterface<HolderCase> {};

TEST_P(HeldOpenTest, FileStaysUnchanged) {
  const std::string original = WriteHex();
  HANDLE holder = CreateFileA(Path().c_str(), GENERIC_READ | GENERIC_WRITE, GetParam().share,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);

  const std::string outcome = Rewrite(Path().c_str());
  CloseHandle(holder);

  EXPECT_EQ(outcome, "refused\n" + dptest::Expand(GetParam().log, {{"%s", Path()}}));
  EXPECT_EQ(dptest::ReadFileBytes(Path()), original);
  EXPECT_EQ(Entries(), kOnlyTheFile);
}

INSTANTIATE_TEST_SUITE_P(
    Holders, HeldOpenTest,
    ::testing::Values(HolderCase{"Exclusively", 0, ReadFailed(0)},
                      HolderCase{"DenyingWrites", FILE_SHARE_READ,
                                 kNamesLogged + "Failed to open EDID file for writing: %s\n"},
                      // Writing is allowed, replacing is not: the new content is written in
                      // full beside the file, then cannot take its place and is removed.
                      HolderCase{
                          "DenyingReplacement", FILE_SHARE_READ | FILE_SHARE_WRITE,
                          kNamesLogged + "Failed to write modified EDID content to file: %s\n"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(EdidRewriteTest, TheFileKeepsItsAttributes) {
  WriteHex();
  const DWORD attributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
  ASSERT_TRUE(SetFileAttributesA(Path().c_str(), attributes));
  EXPECT_EQ(Rewrite(Path().c_str()), "rewritten\n" + SuccessLog("DP Virtual", kName));
  EXPECT_EQ(GetFileAttributesA(Path().c_str()), attributes);
  EXPECT_EQ(dptest::ReadFileBytes(Path()), AsText(WithName(Base(), 3, kName)));
  EXPECT_EQ(Entries(), kOnlyTheFile);
}

TEST_F(EdidRewriteTest, ProbeShareModesAreEnforcedWithinOneProcess) {
  // The held-open tests rely on this: a second open in the same process is
  // refused by a share mode of 0, as it would be from another process.
  ASSERT_TRUE(dptest::WriteFileBytes(Path(), "x"));
  HANDLE holder = CreateFileA(Path().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  HANDLE second = CreateFileA(Path().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const DWORD error = GetLastError();
  if (second != INVALID_HANDLE_VALUE) CloseHandle(second);
  CloseHandle(holder);
  EXPECT_EQ(second, INVALID_HANDLE_VALUE);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
}

// What ReplaceFileW and the calls after it may answer (each answer as
// Windows documents it leaves the files), and what must stand afterwards: the
// new bytes or the original under the file's name, and no file of the
// rewrite's own beside it, unless the system was told to remove it at restart.
struct ReplaceOutcome {
  const char* label;
  std::vector<fakefile::Failure> failures;
  bool rewritten;
  std::size_t leftForRestart;  // files whose delete was refused
};

void PrintTo(const ReplaceOutcome& c, std::ostream* os) { *os << c.label; }

class ReplaceOutcomeTest : public EdidRewriteTest,
                           public ::testing::WithParamInterface<ReplaceOutcome> {};

TEST_P(ReplaceOutcomeTest, OneVersionStandsUnderTheName) {
  const ReplaceOutcome& c = GetParam();
  const std::string original = WriteHex();
  fakefile::Reset(c.failures);

  const std::string outcome = Rewrite(Path().c_str());

  if (c.rewritten) {
    EXPECT_EQ(outcome, "rewritten\n" + SuccessLog("DP Virtual", kName));
    EXPECT_EQ(dptest::ReadFileBytes(Path()), AsText(WithName(Base(), 3, kName)));
  } else {
    EXPECT_EQ(outcome, "refused\n" + kNamesLogged +
                           "Failed to write modified EDID content to file: " + Path() + "\n");
    EXPECT_EQ(dptest::ReadFileBytes(Path()), original);
  }
  // A backup name is always given: the partial failures are defined by it.
  ASSERT_EQ(fakefile::BackupNames().size(), 1u);
  EXPECT_FALSE(fakefile::BackupNames()[0].empty());
  std::vector<std::string> expected = kOnlyTheFile;
  const std::vector<std::wstring>& later = fakefile::DeletedAtRestart();
  ASSERT_EQ(later.size(), c.leftForRestart);
  for (const std::wstring& file : later) {
    const std::string narrow(file.begin(), file.end());  // the sandbox's names are ASCII
    ASSERT_EQ(narrow.rfind(dir_.path() + "\\", 0), 0u) << narrow;
    expected.push_back(narrow.substr(dir_.path().size() + 1));
  }
  std::vector<std::string> entries = Entries();
  std::sort(entries.begin(), entries.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entries, expected);
}

using fakefile::Call;
// ReplaceFileW refused with 1176 (nothing moved), 1177 (the original moved to
// the backup) or another error; the rename and delete after it refused.
const fakefile::Failure k1176{Call::ReplaceFileW, 1, ERROR_UNABLE_TO_MOVE_REPLACEMENT};
const fakefile::Failure k1177{Call::ReplaceFileW, 1, ERROR_UNABLE_TO_MOVE_REPLACEMENT_2};
const fakefile::Failure kOther{Call::ReplaceFileW, 1, ERROR_INVALID_PARAMETER};
const fakefile::Failure kNoRename{Call::MoveFileExW, 1, ERROR_ACCESS_DENIED};

INSTANTIATE_TEST_SUITE_P(
    Answers, ReplaceOutcomeTest,
    ::testing::Values(
        ReplaceOutcome{"Replaced", {}, true, 0},
        ReplaceOutcome{"Refused1176ThenRenamed", {k1176}, true, 0},
        ReplaceOutcome{"Refused1176ThenRenameRefused", {k1176, kNoRename}, false, 0},
        ReplaceOutcome{"Refused1177ThenRenamed", {k1177}, true, 0},
        ReplaceOutcome{
            "Refused1177ThenRenameRefusedAndOriginalRestored", {k1177, kNoRename}, false, 0},
        ReplaceOutcome{"OtherErrorThenRenamed", {kOther}, true, 0},
        ReplaceOutcome{"OtherErrorThenRenameRefused", {kOther, kNoRename}, false, 0},
        // The backup of a replace that worked cannot be deleted.
        ReplaceOutcome{"ReplacedBackupDeleteRefused",
                       {k1177, {Call::DeleteFileW, 1, ERROR_ACCESS_DENIED}},
                       true,
                       1},
        // The new bytes could not be put in place and cannot be deleted.
        ReplaceOutcome{"RenameRefusedTemporaryDeleteRefused",
                       {k1176, kNoRename, {Call::DeleteFileW, 1, ERROR_SHARING_VIOLATION}},
                       false,
                       1}),
    [](const auto& info) { return std::string(info.param.label); });

// Generated profiles rewritten, as hex text and as raw bytes; when
// DP_REWRITTEN_EDID_DIR names a directory, the results are left there (with a
// manifest) for a conformance check by edid-decode on the Linux side.
struct OutputCase {
  edidgen::Mode mode;
  bool hexText;
};

// "1920x1080x60Hex": the case's name, and with its own ending the name of the file left behind.
std::string Label(const OutputCase& c, const char* hex = "Hex", const char* raw = "Raw") {
  return std::to_string(c.mode.width) + "x" + std::to_string(c.mode.height) + "x" +
         std::to_string(c.mode.refresh) + (c.hexText ? hex : raw);
}

void PrintTo(const OutputCase& c, std::ostream* os) { *os << Label(c); }

class RewrittenEdidFiles : public ::testing::TestWithParam<OutputCase> {};

TEST_P(RewrittenEdidFiles, AreRawBlocksWithTheNewName) {
  const OutputCase& c = GetParam();
  const Bytes block = GeneratedBlock(c.mode.width, c.mode.height, c.mode.refresh);
  dptest::TempDir dir;
  const std::string path = dir.File(edidgen::ModeFileName(c.mode));
  ASSERT_TRUE(dptest::WriteFileBytes(
      path, c.hexText ? edidgen::FormatHexText(block.data(), block.size()) : AsText(block)));

  ASSERT_THAT(Rewrite(path.c_str(), "TovikMonitor"), ::testing::StartsWith("rewritten\n"));

  const std::string written = dptest::ReadFileBytes(path);
  EXPECT_EQ(AsBytes(written), WithName(block, 3, "TovikMonitor"));
  EXPECT_TRUE(dptest::LeaveForEdidDecode("DP_REWRITTEN_EDID_DIR",
                                         Label(c, "-from-hex.bin", "-from-raw.bin"), written));
}

std::vector<OutputCase> Cases() {
  std::vector<OutputCase> cases;
  for (const edidgen::Mode& mode :
       {edidgen::Mode{1920, 1080, 60}, edidgen::Mode{2560, 1440, 60}, edidgen::Mode{1280, 720, 60},
        edidgen::Mode{1366, 768, 60}, edidgen::Mode{3840, 2160, 60}, edidgen::Mode{3840, 2160, 74},
        edidgen::Mode{1920, 1080, 144}})
    for (bool hexText : {true, false}) cases.push_back({mode, hexText});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Modes, RewrittenEdidFiles, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return Label(info.param); });

}  // namespace

#include "provision/target_mode.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <optional>
#include <string>

#include "support/app_data.h"
#include "support/log_capture.h"
#include "support/temp_dir.h"

namespace {

const std::string kFallbackSettings =
    "C:\\Users\\Administrator\\AppData\\Roaming\\harnfold\\store.dat";

using dptest::ScopedAppData;

class ReadTargetModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The fallback path is never created by these tests; if some other run left
    // a settings file there, every expectation about defaults would be void.
    ASSERT_EQ(GetFileAttributesA(kFallbackSettings.c_str()), INVALID_FILE_ATTRIBUTES)
        << kFallbackSettings << " exists in this Wine prefix";
  }

  std::string SettingsPath() const { return appData_.path() + "\\harnfold\\store.dat"; }

  void WriteSettings(const std::string& content) {
    ASSERT_TRUE(CreateDirectoryA((appData_.path() + "\\harnfold").c_str(), nullptr));
    ASSERT_TRUE(dptest::WriteFileBytes(SettingsPath(), content));
  }

  // A read with APPDATA as given (the directory field set beforehand): its
  // log, then the mode read and the directory field as "=> WxHxF in DIR".
  static std::string Read(const std::optional<std::string>& appData) {
    ScopedAppData scoped(appData);
    dptest::LogCapture capture;
    TargetMode mode;
    mode.exeDir = "C:\\kept";
    ReadTargetMode(mode);
    return capture.Messages() + "=> " + std::to_string(mode.width) + "x" +
           std::to_string(mode.height) + "x" + std::to_string(mode.fps) + " in " + mode.exeDir;
  }

  dptest::TempDir appData_;
};

// What a read gives that finds no file at `missing` and takes the defaults.
std::string DefaultsAfter(const std::string& missing) {
  return "File does not exist: " + missing + "\nReading config file: " + kFallbackSettings +
         "\nTarget config: width=1920, height=1080, fps=60\n=> 1920x1080x60 in C:\\kept";
}

struct SettingsCase {
  const char* label;
  const char* content;  // nullptr: no file at all
  int width, height, fps;
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.label; }

class SettingsFileTest : public ReadTargetModeTest,
                         public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(SettingsFileTest, ReadsValuesAndLogsInOrder) {
  const SettingsCase& c = GetParam();
  if (c.content) WriteSettings(c.content);
  std::string expected = c.content ? "Reading config file: " + SettingsPath() + "\n"
                                   : "File does not exist: " + SettingsPath() +
                                         "\nReading config file: " + kFallbackSettings + "\n";
  const std::string w = std::to_string(c.width), h = std::to_string(c.height),
                    f = std::to_string(c.fps);
  expected += "Target config: width=" + w + ", height=" + h + ", fps=" + f + "\n";
  EXPECT_EQ(Read(appData_.path()), expected + "=> " + w + "x" + h + "x" + f + " in C:\\kept");
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsFileTest,
    ::testing::Values(
        SettingsCase{"NoFileAnywhere", nullptr, 1920, 1080, 60},
        SettingsCase{"OnlyFps", "[rpScreen]\r\nfps=30\r\n", 1920, 1080, 30},
        SettingsCase{"AllKeys", "[rpScreen]\r\nwidth=2560\r\nheight=1440\r\nfps=144\r\n", 2560,
                     1440, 144},
        SettingsCase{"KeysInAnotherSection",
                     "[display]\r\nwidth=2560\r\nheight=1440\r\nfps=144\r\n", 1920, 1080, 60},
        SettingsCase{"SectionAfterAnother", "[display]\r\nwidth=1\r\n[rpScreen]\r\nheight=1200\r\n",
                     1920, 1200, 60},
        // Not tested for sense: a negative value is passed on as read.
        SettingsCase{"NegativeWidth", "[rpScreen]\nwidth=-1\n", -1, 1080, 60}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(ReadTargetModeTest, DirectoryNamedStoreDatCountsAsMissing) {
  ASSERT_TRUE(CreateDirectoryA((appData_.path() + "\\harnfold").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(SettingsPath().c_str(), nullptr));
  EXPECT_EQ(Read(appData_.path()), DefaultsAfter(SettingsPath()));
}

// APPDATA that cannot be used: missing, empty, or too long for 260 bytes.
struct AppDataCase {
  const char* label;
  std::optional<std::string> value;
};

void PrintTo(const AppDataCase& c, std::ostream* os) { *os << c.label; }

class UnusableAppDataTest : public ReadTargetModeTest,
                            public ::testing::WithParamInterface<AppDataCase> {};

TEST_P(UnusableAppDataTest, FallsBackAndSaysSoFirst) {
  EXPECT_EQ(Read(GetParam().value),
            "Failed to get APPDATA path.\n" + DefaultsAfter(kFallbackSettings));
}

INSTANTIATE_TEST_SUITE_P(Values, UnusableAppDataTest,
                         ::testing::Values(AppDataCase{"Unset", std::nullopt},
                                           AppDataCase{"Empty", std::string()},
                                           AppDataCase{"Chars260", std::string(260, 'a')},
                                           AppDataCase{"Chars300", std::string(300, 'a')}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST_F(ReadTargetModeTest, LongestUsableAppDataIsUsed) {
  // 259 characters fill the buffer with its terminator; the path built from it
  // is too long to exist, so the fallback follows, but APPDATA itself was read.
  const std::string value = "C:\\" + std::string(256, 'd');
  EXPECT_EQ(Read(value), DefaultsAfter(value + "\\harnfold\\store.dat"));
}

}  // namespace

// Waiting for the programs that wrote start records: a recorded process id may
// name another program by the time it is read, and a writer that never ends
// must not hold every later wait.
#include "sim/start_record.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <tuple>

#include "common/exe_dir.h"
#include "support/temp_dir.h"

namespace {

// A program started with these settings; ended, if it still runs, when the
// value goes (started suspended, it runs until then).
struct Started {
  PROCESS_INFORMATION pi = {};
  Started(const std::wstring& image, DWORD flags, BOOL inherit = FALSE, STARTUPINFOW si = {}) {
    si.cb = sizeof si;
    std::wstring line = L"\"" + image + L"\"";
    EXPECT_TRUE(CreateProcessW(image.c_str(), line.data(), nullptr, nullptr, inherit, flags,
                               nullptr, nullptr, &si, &pi))
        << image << " " << GetLastError();
  }
  ~Started() {
    if (pi.hProcess == nullptr) return;
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 5000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
  bool Running() const { return WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; }
};

TEST(AwaitStarts, WaitsOnlyForTheWriterAndEndsOneThatHangs) {
  dptest::TempDir dir;
  const std::wstring built = GetExecutableDirectoryW() + L"\\wkex.exe";
  const std::wstring beside = dir.wpath() + L"\\wkex.exe";
  ASSERT_TRUE(CopyFileW(built.c_str(), beside.c_str(), FALSE));
  const std::wstring file = dir.wpath() + L"\\wkex.starts";

  const struct {
    const char* what;
    const std::wstring& image;
    bool writer;
  } cases[] = {
      // The recorded id now names the same program started from elsewhere.
      {"another program under the recorded id", built, false},
      {"the writer, stuck", beside, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(file.c_str());
    const Started p(c.image, CREATE_SUSPENDED);
    sim::StartRecord r;
    r.processId = p.pi.dwProcessId;
    ASSERT_TRUE(sim::AppendStartRecord(file, r));

    std::vector<sim::StartRecord> read;
    const bool ended = sim::AwaitStarts(file, 1, c.writer ? 500 : 5000, &read);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].processId, r.processId);
    EXPECT_EQ(ended, !c.writer);
    // Only the writer is ended; a program that merely has its id is left alone.
    EXPECT_EQ(p.Running(), !c.writer);
  }
}

TEST(AwaitStarts, TimesOutWhenTooFewRecords) {
  dptest::TempDir dir;
  const std::wstring file = dir.wpath() + L"\\dprecord.starts";
  ASSERT_TRUE(sim::AppendStartRecord(file, sim::StartRecord{}));
  std::vector<sim::StartRecord> read;
  EXPECT_FALSE(sim::AwaitStarts(file, 2, 100, &read));
  EXPECT_EQ(read.size(), 1u);
}

// The record tells a start apart by what it gave: a console or none, the
// launcher's inheritable handle or not, the start-up record's settings.
TEST(StartRecord, SaysWhatTheStartGave) {
  dptest::TempDir dir;
  const std::wstring recorder = dir.wpath() + L"\\dprecord.exe";
  ASSERT_TRUE(
      CopyFileW((GetExecutableDirectoryW() + L"\\dprecord.exe").c_str(), recorder.c_str(), FALSE));
  const std::wstring probed = dir.wpath() + L"\\held.bin";
  SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
  HANDLE held = CreateFileW(probed.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inheritable, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(sim::WriteHandleProbe(recorder, held, probed));

  // This test runs without a console of its own under Wine: a console of the
  // recorder's own (without a window) is the one way to give it one.
  const struct {
    const char* what;
    BOOL inherit;
    DWORD flags;
    DWORD startupFlags;
    WORD show;
    bool console, handle;
  } cases[] = {
      {"own console, no handles", FALSE, CREATE_NO_WINDOW, 0, 0, true, false},
      {"own console, handles inherited", TRUE, CREATE_NO_WINDOW, 0, 0, true, true},
      {"detached, hidden", FALSE, DETACHED_PROCESS, STARTF_USESHOWWINDOW, SW_HIDE, false, false},
      {"detached, handles inherited", TRUE, DETACHED_PROCESS, 0, 0, false, true},
  };
  const std::wstring records = dir.wpath() + L"\\dprecord.starts";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    DeleteFileW(records.c_str());
    STARTUPINFOW si = {};
    si.dwFlags = c.startupFlags;
    si.wShowWindow = c.show;
    const Started run(recorder, c.flags, c.inherit, si);
    ASSERT_NE(run.pi.hProcess, nullptr);
    std::vector<sim::StartRecord> read;
    ASSERT_TRUE(sim::AwaitStarts(records, 1, 30000, &read));
    ASSERT_EQ(read.size(), 1u);
    const sim::StartRecord& got = read[0];
    EXPECT_EQ(std::tie(got.hasConsole, got.inheritedProbeHandle, got.startupFlags, got.showWindow),
              std::make_tuple(c.console, c.handle, c.startupFlags, unsigned{c.show}));
  }
  CloseHandle(held);
}

}  // namespace

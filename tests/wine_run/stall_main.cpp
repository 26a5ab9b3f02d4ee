// What the harness must cope with, one behaviour per argument:
//   exit N    says so and ends with code N
//   silent N  ends with code N without a byte of output
//   start1359 N  logs a start Wine answered with 1359, ends with code N
//   hang      says so and never ends
//   orphan    says so, then ends its main thread while another lives on: the
//             process never ends (as on Windows), and under Wine its Linux
//             main thread is left a zombie
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

DWORD WINAPI Forever(void*) {
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const char* what = argc > 1 ? argv[1] : "";
  const int code = argc > 2 ? std::atoi(argv[2]) : 0;
  if (std::strcmp(what, "silent") == 0) return code;
  if (std::strcmp(what, "start1359") == 0) {
    std::printf("CreateProcessAsUser failed. Error: 1359create user process failed. \n");
    return code;
  }
  std::printf("%s\n", what);
  std::fflush(stdout);
  if (std::strcmp(what, "exit") == 0) return code;
  if (std::strcmp(what, "hang") == 0) Sleep(INFINITE);
  if (std::strcmp(what, "orphan") == 0) {
    HANDLE t = CreateThread(nullptr, 0, Forever, nullptr, 0, nullptr);
    if (t != nullptr) ExitThread(0);
  }
  std::fprintf(stderr, "usage: dpstall exit N | silent N | start1359 N | hang | orphan\n");
  return 2;
}

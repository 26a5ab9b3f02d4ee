// The smallest Windows program: what starting any program costs. With an
// argument it stays that many milliseconds, long enough to be measured.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
  if (argc > 1) Sleep(static_cast<DWORD>(std::atoi(argv[1])));
  return 0;
}

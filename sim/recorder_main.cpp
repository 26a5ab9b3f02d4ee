// dprecord.exe: a stand-in for a program that displayprep starts (the
// companion program, or the helper where no simulated machine is wanted). It
// records how it was started in "<its name>.starts" beside itself (see
// sim/start_record.h) and exits with 0. Tests and the demo only.
#include "sim/start_record.h"

int main() {
  return sim::AppendStartRecord(sim::StartRecordFileBesideProgram(), sim::CurrentStart()) ? 0 : 1;
}

// Component tests run the program's units against a simulated machine kept
// in a state file of the test's own, with the log pointed at a file too.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "sim/sim.h"
#include "support/log_capture.h"
#include "support/sim_support.h"
#include "support/temp_dir.h"

namespace dptest {

// The simulated machine plus the log pointed at a file of the test's own.
class SimTest : public SimStateTest {
 protected:
  LogCapture log_;
};

}  // namespace dptest

// The generator over any mode and name: a block it writes is a sound EDID
// that the simulated helper reads back as that name and mode.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "edidgen.h"
#include "fuzz_check.h"
#include "sim/virtual_edid.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  edidgen::Mode mode;
  mode.width = in.ConsumeIntegralInRange<std::uint32_t>(0, 20000);
  mode.height = in.ConsumeIntegralInRange<std::uint32_t>(0, 20000);
  mode.refresh = in.ConsumeIntegralInRange<std::uint32_t>(0, 1000);
  const std::string name = in.ConsumeRandomLengthString(20);
  const edidgen::Result r = edidgen::GenerateEdid(mode, name);
  if (!r.ok) {
    FUZZ_CHECK(!r.error.empty());
    return 0;
  }
  unsigned sum = 0;
  for (std::uint8_t b : r.block) sum += b;
  FUZZ_CHECK(sum % 256 == 0);
  sim::VirtualDisplaySpec shown;
  std::string error;
  FUZZ_CHECK(sim::ParseVirtualDisplayEdid(std::vector<std::uint8_t>(r.block.begin(), r.block.end()),
                                          &shown, &error));
  FUZZ_CHECK(shown.name == name);
  FUZZ_CHECK(shown.width == mode.width && shown.height == mode.height);
  // The block holds the timing the generator says it chose.
  const std::uint64_t total = std::uint64_t{r.timing.HTotal()} * r.timing.VTotal();
  const std::uint64_t clock = r.timing.pixelClockHz / 10000 * 10000;  // as the block stores it
  FUZZ_CHECK(shown.refreshHz == (clock + total / 2) / total);
  // CVT rounds the clock down to its step, which moves the rate of a tiny
  // mode far; for a real display's size it stays within 1 Hz of the wish.
  if (mode.width >= 640 && mode.height >= 480)
    FUZZ_CHECK(shown.refreshHz + 1 >= mode.refresh && shown.refreshHz <= mode.refresh + 1);
  return 0;
}

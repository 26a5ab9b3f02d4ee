// Changing the display configuration: extend topology and primary display.
#pragma once

#include "display/enumerate.h"

// Asks the system for its extend topology. Logs the outcome.
bool ForceExtendMode();

// Makes path `index` of an active-paths query primary: its source goes to
// (0,0), every other source follows in one row to its right; the layout is
// applied and saved to the display database. With `target`, the path is the
// one showing that target in this query, wherever it stands now: an index
// from an earlier listing names another display once the paths' order has
// changed (another run, or the helper, changed the configuration since).
bool SetPrimaryDisplay(int index, const TargetKey* target = nullptr);

// The display stage of a run.
#pragma once

// Lists the displays once and decides: provision the virtual monitor below two
// paths, arrange below three, otherwise leave the machine alone. 0 when the
// virtual monitor ends up primary, -1 otherwise.
int ConfigureDisplays();

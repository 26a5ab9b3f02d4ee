// The log natively, for the fuzz targets and checks: the program's own
// formatting, kept in memory instead of going to the three outputs.
#pragma once

#include <string>

#include "log/log_format.h"

// Everything logged since the last call, and forgets it.
std::string TakeLoggedText();

// Wide text as the fuzz targets narrow it: ASCII stays, the rest becomes '?'.
std::string NarrowForFuzzing(const wchar_t* text, std::size_t length);

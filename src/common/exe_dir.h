// The running executable's directory, without a trailing separator; empty
// text when the module name cannot be read whole.
#pragma once

#include <string>

#include "common/module_dir.h"

std::string GetExecutableDirectory();
std::wstring GetExecutableDirectoryW();

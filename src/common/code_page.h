// The system's ANSI code page as the narrow-text rules need it.
#pragma once

#include "common/narrow_text.h"

// The ANSI code page's build: its lead bytes, or UTF-8. Read once per process.
const NarrowEncoding& AnsiEncoding();

// Text values of the registry as the link library keeps them: REG_SZ with
// its NUL.
#pragma once

#include <string>

#include "win32/registry.h"

namespace tlx::link {

// The value's text up to its first NUL, never past the value's size, whatever
// its type; empty when it is missing or empty.
std::string tlxRegReadText(HKEY key, const char* name);
// Stores the text as REG_SZ with its NUL. True on success.
bool tlxRegWriteText(HKEY key, const char* name, const std::string& text);

}  // namespace tlx::link

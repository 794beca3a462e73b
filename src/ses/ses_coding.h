// Base64 and hexadecimal text, and the token splitter. The three coders are
// flat C functions that the link library exports as they are.
#pragma once

#include <string>
#include <vector>

#include "tlx_bcf.h"  // the three flat coders

// The tokens of `text` separated by any character of `delimiters`, in order;
// runs of delimiters count as one, so no token is empty. A null text gives none.
std::vector<std::string> tlxSplit(const char* delimiters, const char* text);

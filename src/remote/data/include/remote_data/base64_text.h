// The Base64 decoder of the region's data tables.
#pragma once

#include "win32/types.h"

// Decodes `length` bytes of Base64 text into `output`, whose capacity is
// *size on entry. Characters outside the alphabet ('=', line ends, blanks)
// are skipped; groups of up to four digits give their whole bytes (a lone
// last digit gives none). From the first group that does not fit, nothing
// more is written, but counting goes on: *size is the full decoded length on
// return. A null output only measures. TRUE only when an output was given
// and everything fitted; FALSE for a null text or size.
BOOL tlxBase64DecodeText(const char* data, unsigned length, unsigned char* output, int* size);

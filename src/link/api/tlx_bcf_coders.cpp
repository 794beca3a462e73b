// Exports of the text coders.
#include "link/tlx_bcf.h"
#include "ses/ses_coding.h"

TLX_BCF_API int tlxBase64Encode(const void* bytes, int n, char* out) { return sesBase64Encode(bytes, n, out); }

TLX_BCF_API int tlxBase64Decode(const char* text, int length, void* out) {
  return sesBase64Decode(text, length, out);
}

TLX_BCF_API int tlxHexEncode(const void* bytes, int n, char* out) { return sesHexEncode(bytes, n, out); }

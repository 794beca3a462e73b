/* Marks a function or class a library exports. A library built with hidden
   symbols (the C interface libraries, the filter modules' entries) marks its
   exported declarations with it; the library's version script then names
   exactly those. Language linkage is written beside it (extern "C"). */
#pragma once

#define TLX_EXPORT __attribute__((visibility("default")))

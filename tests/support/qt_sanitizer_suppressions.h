// What the sanitizers leave out in a test program that runs Qt: the texts
// for the program's own __tsan_default_suppressions and
// __lsan_default_suppressions (read when the program starts; the functions
// change nothing in other builds). String literals, so a program can append
// rules of its own.
#pragma once

// Qt is not built with ThreadSanitizer, so the synchronisation inside it (its
// worker pool, the atomics of its containers) is invisible and what its
// threads allocate and copy looks unordered: reports whose racing access is a
// call made from inside Qt are left out; races in our code stay reported.
#define TLX_QT_TSAN_SUPPRESSIONS \
  "called_from_lib:libQt6Core.so.6\n" \
  "called_from_lib:libQt6Gui.so.6\n" \
  "called_from_lib:libQt6Widgets.so.6\n"

// fontconfig keeps its configuration until the process ends, and the tests'
// application is never torn down: no leak of ours.
#define TLX_QT_LSAN_SUPPRESSIONS "leak:libfontconfig.so.1\n"

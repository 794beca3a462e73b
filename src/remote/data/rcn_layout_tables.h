// The layout of the on-screen remotes, by remote kind: the tabs of each kind,
// the extra send buttons in the row under the title, the send buttons of each
// page and the captions and bitmaps painted on the background. Texts, images
// and commands are string and bitmap ids of the region resource library (a
// command's loaded text is the command name looked up in the remote's codes).
// Every column is an int, -1 means none, a row whose kind is -1 ends its
// table, and rows are searched from the top: the first match wins.
#pragma once

#include "win32/types.h"

struct RcnTabRow {
  int kind;
  int tab;  // 1 to 3
  int captionId;
  int selectedImage;
  int normalImage;
  int pressedImage;
};

struct RcnTopButtonRow {
  int kind;
  int control;  // 21485 to 21488
  int commandId;
  int x;
  int y;
  int normalImage;
  int pressedImage;
  int captionId;
};

// A page is 0 for the only page of a kind without tabs, 1 to 3 for that tab's
// page, and 5 for a button or label shown on every page.
inline constexpr int kRcnEveryPage = 5;

struct RcnButtonRow {
  int kind;
  int page;
  int control;  // 21529 to 21548 on a page, 21494 to 21513 on every page
  int commandId;
  int x;
  int y;
  int normalImage;
  int pressedImage;
  int captionId;
};

struct RcnLabelRow {
  int kind;
  int page;
  int captionId;   // -1: the row paints its bitmap
  int fontHeight;  // -1 for a bitmap row
  int bitmapId;    // -1 for a caption row
  int x;
  int y;
};

// The window's copies of one kind's rows.
inline constexpr int kRcnButtonBufferRows = 100;
inline constexpr int kRcnLabelBufferRows = 50;

extern const RcnTabRow kRcnTabTable[];
extern const RcnTopButtonRow kRcnTopButtonTable[];
extern const RcnButtonRow kRcnButtonTable[];
extern const RcnLabelRow kRcnLabelTable[];

// Fills both buffers with -1, then copies the button rows of `kind` (every
// page, in table order) into `buttons` and its label rows into `labels`, each
// up to its buffer's size. TRUE when the kind has a button row.
BOOL tlxRcnLayoutLookup(int kind, RcnButtonRow (&buttons)[kRcnButtonBufferRows],
                        RcnLabelRow (&labels)[kRcnLabelBufferRows]);
// The row of tab `tab` of `kind`; null when there is none.
const RcnTabRow* tlxRcnFindTab(int kind, int tab);
// The command of the function-row button `control` of `kind`; -1 when none.
int tlxRcnTopButtonCommand(int kind, int control);
// The command of the first row of the button buffer with `page` and
// `control`; -1 when none.
int tlxRcnPageButtonCommand(const RcnButtonRow (&buttons)[kRcnButtonBufferRows], int page, int control);

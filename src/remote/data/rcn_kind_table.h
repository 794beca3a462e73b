// The remote kinds: for each kind (0 to 34) its key text, title, device name,
// whether it is a TV remote, its tab count, where its footer is painted and
// whether its window shows the power button. Texts are string ids of the
// region resource library. A row whose kind is -1 ends the table; rows are
// searched from the top and the first match wins.
#pragma once

#include <string>

#include "win32/types.h"

struct RcnKindRow {
  int kind;
  int nameId;    // the kind's key text, under which remotes store their kind
  int titleId;   // the title of a remote that has no name of its own
  int deviceId;  // the device name the database shows for the kind
  int tv;        // 1: offered in the TV remote lists
  int tabs;      // 0 (one page), 2 or 3
  int footerY;   // -1: no footer
  int power;     // 1: the window shows the power button
};

// The 35 kinds, then the end row.
extern const RcnKindRow kRcnKindTable[36];

// String `id` loaded through the resource chain; empty when no module has it.
std::u16string tlxRcnLoadString(int id);

// The row of `kind`, null when the table has none.
const RcnKindRow* tlxRcnFindKindRow(int kind);
// The first kind whose loaded key text equals `name`; -1 when none does or
// `name` is empty.
int tlxRcnFindKindByName(const std::u16string& name);

// The loaded title text of `kind`; empty when the kind is absent.
std::u16string tlxRcnKindTitle(int kind);
// Sets `*tabs` to the tab count of `kind`; leaves it unchanged when the kind
// is absent.
void tlxRcnKindTabCount(int kind, int* tabs);
// The footer y of `kind`; -1 when the kind is absent or has no footer.
int tlxRcnKindFooterY(int kind);
// The power flag of `kind`; 1 when the kind is absent.
int tlxRcnKindPowerFlag(int kind);

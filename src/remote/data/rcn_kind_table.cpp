#include "remote/data/rcn_kind_table.h"

#include <iterator>

#include "resources/tlx_pc_resource.h"

const RcnKindRow kRcnKindTable[36] = {
    // kind, name, title, device, TV, tabs, footer y, power
    {0, 21119, -1, -1, 0, 0, -1, 1},
    {1, 21129, 21108, 21111, 0, 0, 297, 1},
    {2, 21116, 21093, 21112, 0, 2, 293, 1},
    {3, 21121, 21099, 21315, 0, 2, 363, 1},
    {4, 21117, 21095, 21316, 0, 2, 307, 1},
    {5, 21122, 21100, 21317, 0, 2, 297, 1},
    {6, 21123, 21101, 21318, 0, 2, 345, 1},
    {7, 21118, 21096, 21319, 0, 2, 315, 1},
    {8, 21128, 21107, 21320, 0, 2, -1, 1},
    {9, 21113, 21092, 21321, 0, 0, 323, 1},
    {10, 21125, 21103, 21322, 0, 2, 312, 1},
    {11, 21127, 21105, 21323, 0, 2, 277, 1},
    {12, 21126, 21096, 21319, 0, 2, 355, 1},
    {13, 21115, 21096, 21319, 0, 2, 345, 1},
    {14, 21114, 21100, 21317, 0, 2, 345, 1},
    {15, 21124, 21102, 21324, 0, 2, 297, 1},
    {16, 21120, 21098, 21325, 0, 2, 312, 1},
    {17, 20877, 20896, 21326, 0, 2, -1, 1},
    {18, 20881, 20917, 21327, 0, 3, 345, 1},
    {19, 20891, 20931, 21328, 0, 3, 345, 1},
    {20, 21094, 21329, 21097, 0, 2, 329, 1},
    {21, 22179, 22180, 22181, 1, 3, 345, 1},
    {22, 22182, 22183, 22184, 1, 2, 329, 1},
    {23, 22185, 22187, 22189, 1, 2, 329, 1},
    {24, 22186, 22188, 22190, 1, 2, 353, 1},
    {25, 22191, 22192, 22193, 1, 2, 329, 1},
    {26, 22382, 22388, 22394, 1, 2, 345, 1},
    {27, 22384, 22390, 22396, 1, 3, 345, 1},
    {28, 22385, 22391, 22397, 1, 3, 345, 1},
    {29, 22386, 22392, 22398, 1, 3, 345, 1},
    {30, 22387, 22393, 22399, 1, 0, 345, 0},
    {31, 22000, 22003, 22006, 1, 0, 345, 1},
    {32, 22001, 22004, 22007, 1, 2, 345, 1},
    {33, 22002, 22005, 22008, 1, 3, 345, 1},
    {34, 22310, 0, 0, 1, 0, 345, 1},
    {-1, -1, -1, -1, -1, -1, -1, -1},
};

std::u16string tlxRcnLoadString(int id) {
  if (id <= 0 || id > 0xFFFF) return {};
  HINSTANCE module = AfxFindStringResourceHandle(static_cast<UINT>(id));
  if (module == nullptr) return {};
  WCHAR buffer[1024];
  int length = LoadStringW(module, static_cast<UINT>(id), buffer, static_cast<int>(std::size(buffer)));
  return length > 0 ? std::u16string(buffer, static_cast<size_t>(length)) : std::u16string();
}

const RcnKindRow* tlxRcnFindKindRow(int kind) {
  for (const RcnKindRow* row = kRcnKindTable; row->kind != -1; ++row) {
    if (row->kind == kind) return row;
  }
  return nullptr;
}

int tlxRcnFindKindByName(const std::u16string& name) {
  // A kind whose text is missing from the resources loads as empty and must
  // not be taken for an empty name.
  if (name.empty()) return -1;
  for (const RcnKindRow* row = kRcnKindTable; row->kind != -1; ++row) {
    if (tlxRcnLoadString(row->nameId) == name) return row->kind;
  }
  return -1;
}

std::u16string tlxRcnKindTitle(int kind) {
  const RcnKindRow* row = tlxRcnFindKindRow(kind);
  return row != nullptr ? tlxRcnLoadString(row->titleId) : std::u16string();
}

void tlxRcnKindTabCount(int kind, int* tabs) {
  const RcnKindRow* row = tlxRcnFindKindRow(kind);
  if (row != nullptr) *tabs = row->tabs;
}

int tlxRcnKindFooterY(int kind) {
  const RcnKindRow* row = tlxRcnFindKindRow(kind);
  return row != nullptr ? row->footerY : -1;
}

int tlxRcnKindPowerFlag(int kind) {
  const RcnKindRow* row = tlxRcnFindKindRow(kind);
  return row != nullptr ? row->power : 1;
}

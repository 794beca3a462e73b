// The start times of the blocks in the sound buffer, kept for three laps of
// the buffer, so that the clock can read the block under the play cursor,
// which was written one lap before the block written last.
#pragma once

#include <vector>

#include "dshow/media_type.h"

class CNotifyTimeTable {
 public:
  struct Entry {
    bool valid = false;
    REFERENCE_TIME time = 0;
  };

  // E_FAIL for zero entries.
  HRESULT Create(UINT entries);
  // E_FAIL for an index beyond the table; an index below the last one
  // written starts the next lap's table.
  HRESULT Write(UINT index, REFERENCE_TIME time, bool valid);
  // The index written last and its entry of one lap earlier.
  Entry Read(UINT* index) const;

 private:
  UINT m_entries = 0;
  std::vector<Entry> m_tables[3];
  UINT m_number = 1;
  UINT m_lastIndex = 0;
};

#include "notify_time_table.h"

HRESULT CNotifyTimeTable::Create(UINT entries) {
  if (entries == 0) return E_FAIL;
  m_entries = entries;
  for (auto& table : m_tables) table.assign(entries, Entry{});
  m_number = 1;
  m_lastIndex = 0;
  return S_OK;
}

HRESULT CNotifyTimeTable::Write(UINT index, REFERENCE_TIME time, bool valid) {
  if (index >= m_entries) return E_FAIL;
  if (index < m_lastIndex) m_number = (m_number + 1) % 3;
  m_lastIndex = index;
  m_tables[m_number][index] = {valid, time};
  return S_OK;
}

CNotifyTimeTable::Entry CNotifyTimeTable::Read(UINT* index) const {
  *index = m_lastIndex;
  // The table before the current one, also when the current one is table 0.
  return m_tables[(m_number + 2) % 3][m_lastIndex];
}

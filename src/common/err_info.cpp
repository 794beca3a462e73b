#include "common/tlx_pc_cmn_err_info.h"

CTlxPcCmnErrInfo::CTlxPcCmnErrInfo() : CTlxPcCmnErrInfo(0, 0, 0, 0, 0) {}

CTlxPcCmnErrInfo::CTlxPcCmnErrInfo(int proId, int classId, int line, int errId, int reserve)
    : m_nProId(proId), m_nClassId(classId), m_nLine(line), m_nErrId(errId), m_nReserve(reserve) {}

CTlxPcCmnErrInfo::~CTlxPcCmnErrInfo() = default;

void CTlxPcCmnErrInfo::vSetErrInfo(int proId, int classId, int line, int errId, int reserve) {
  m_nProId = proId;
  m_nClassId = classId;
  m_nLine = line;
  m_nErrId = errId;
  m_nReserve = reserve;
}

// CTlxPcCmnErrInfo: the last error of a user-interface library or of the
// stream engine, as the libraries hand it to each other and to the message
// boxes: the module that raised it, the class within that module, the source
// line, the error code and an extra value (normally 0). A plain value: copies
// copy the five fields.
#pragma once

#include <cstdint>

class CTlxPcCmnErrInfo {
 public:
  // All five fields 0.
  CTlxPcCmnErrInfo();
  CTlxPcCmnErrInfo(int proId, int classId, int line, int errId, int reserve);
  CTlxPcCmnErrInfo(const CTlxPcCmnErrInfo&) = default;
  CTlxPcCmnErrInfo& operator=(const CTlxPcCmnErrInfo&) = default;
  virtual ~CTlxPcCmnErrInfo();

  // Sets all five fields.
  void vSetErrInfo(int proId, int classId, int line, int errId, int reserve);

  void vSetProId(int proId) { m_nProId = proId; }
  void vSetClassId(int classId) { m_nClassId = classId; }
  void vSetLine(int line) { m_nLine = line; }
  void vSetErrId(int errId) { m_nErrId = errId; }
  void vSetReserve(int reserve) { m_nReserve = reserve; }

  int nGetProId() const { return m_nProId; }
  int nGetClassId() const { return m_nClassId; }
  int nGetLine() const { return m_nLine; }
  int nGetErrId() const { return m_nErrId; }
  int nGetReserve() const { return m_nReserve; }

 protected:
  int32_t m_nProId;    // module that raised the error (the stream engine is 2)
  int32_t m_nClassId;  // class within that module
  int32_t m_nLine;     // source line
  int32_t m_nErrId;    // error code
  int32_t m_nReserve;  // extra value, normally 0
};

// A decoder core loaded by path, with its entries bound by name.
#pragma once

#include <string>

#include "avccore/tlxavccore.h"

namespace tlx::avctest {

// The folder holding the real core, and the one holding the fake core; each
// holds a libtlxavccore.so.
std::string RealCoreFolder();
std::string FakeCoreFolder();

class CoreLibrary {
 public:
  explicit CoreLibrary(const std::string& folder);
  ~CoreLibrary();
  CoreLibrary(const CoreLibrary&) = delete;
  CoreLibrary& operator=(const CoreLibrary&) = delete;

  bool loaded() const { return module_ != nullptr; }
  void* Symbol(const char* name) const;

  decltype(&AVCDecCreateInstanceEx2) CreateInstanceEx2 = nullptr;
  decltype(&AVCDecReleaseInstance) ReleaseInstance = nullptr;
  decltype(&AVCDecDiscontinue) Discontinue = nullptr;
  decltype(&AVCDecInitialize) Initialize = nullptr;
  decltype(&AVCDecNALUnit) NALUnit = nullptr;
  decltype(&AVCDecAttachExtTimeStamp) AttachExtTimeStamp = nullptr;
  decltype(&AVCDecSetAuxData) SetAuxData = nullptr;
  decltype(&AVCDecGetNumUnpullPicture) GetNumUnpullPicture = nullptr;
  decltype(&AVCDecGetDecodeRatio) GetDecodeRatio = nullptr;
  decltype(&AVCDecGetPicture) GetPicture = nullptr;
  decltype(&AVCDecReleasePicture) ReleasePicture = nullptr;
  decltype(&AVCDecGetSideInfo) GetSideInfo = nullptr;
  decltype(&AVCDecFinalizePicture) FinalizePicture = nullptr;
  decltype(&AVCDecFlushPicture) FlushPicture = nullptr;

 private:
  void* module_ = nullptr;
};

}  // namespace tlx::avctest

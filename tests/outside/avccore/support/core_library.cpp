#include "core_library.h"

#include <dlfcn.h>

namespace tlx::avctest {

std::string RealCoreFolder() { return AVC_CORE_DIR; }
std::string FakeCoreFolder() { return AVC_FAKE_CORE_DIR; }

CoreLibrary::CoreLibrary(const std::string& folder) {
  module_ = dlopen((folder + "/libtlxavccore.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module_ == nullptr) return;
  const auto bind = [this](auto* slot, const char* name) {
    *slot = reinterpret_cast<std::remove_reference_t<decltype(*slot)>>(dlsym(module_, name));
  };
  bind(&CreateInstanceEx2, "AVCDecCreateInstanceEx2");
  bind(&ReleaseInstance, "AVCDecReleaseInstance");
  bind(&Discontinue, "AVCDecDiscontinue");
  bind(&Initialize, "AVCDecInitialize");
  bind(&NALUnit, "AVCDecNALUnit");
  bind(&AttachExtTimeStamp, "AVCDecAttachExtTimeStamp");
  bind(&SetAuxData, "AVCDecSetAuxData");
  bind(&GetNumUnpullPicture, "AVCDecGetNumUnpullPicture");
  bind(&GetDecodeRatio, "AVCDecGetDecodeRatio");
  bind(&GetPicture, "AVCDecGetPicture");
  bind(&ReleasePicture, "AVCDecReleasePicture");
  bind(&GetSideInfo, "AVCDecGetSideInfo");
  bind(&FinalizePicture, "AVCDecFinalizePicture");
  bind(&FlushPicture, "AVCDecFlushPicture");
}

CoreLibrary::~CoreLibrary() {
  if (module_ != nullptr) dlclose(module_);
}

void* CoreLibrary::Symbol(const char* name) const { return module_ ? dlsym(module_, name) : nullptr; }

}  // namespace tlx::avctest

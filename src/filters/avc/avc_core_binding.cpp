#include "avc_core_binding.h"

#include <atomic>
#include <iterator>
#include <string>

namespace tlx::avc {
namespace {

// Every entry name the core library may offer, in table order; the filter
// calls fourteen of them.
enum Entry {
  kCreateInstance, kReleaseInstance, kDiscontinue, kInitialize, kNALUnit, kNALUnit2, kGetPicture,
  kReleasePicture, kGetSideInfo, kFlushPicture, kFinalizePicture, kGetNumTotalPicture, kGetNumUnpullPicture,
  kGetDecodeRatio, kAttachExtTimeStamp, kSetAuxData, kSignalCurrentTimeStamp, kGetFrameMemorySize,
  kAssignFrameMemory, kAccessUnit, kConfigurationRecord, kSetNalLenSize, kGetSideInfoEx, kDebugDump,
  kGetCoreBufDump, kGetVersionID, kCreateInstanceEx, kCreateInstanceEx2, kReserveFrameID, kEntryCount
};

constexpr const char* kEntryNames[kEntryCount] = {
    "AVCDecCreateInstance", "AVCDecReleaseInstance", "AVCDecDiscontinue", "AVCDecInitialize",
    "AVCDecNALUnit", "AVCDecNALUnit2", "AVCDecGetPicture", "AVCDecReleasePicture", "AVCDecGetSideInfo",
    "AVCDecFlushPicture", "AVCDecFinalizePicture", "AVCDecGetNumTotalPicture", "AVCDecGetNumUnpullPicture",
    "AVCDecGetDecodeRatio", "AVCDecAttachExtTimeStamp", "AVCDecSetAuxData", "AVCDecSignalCurrentTimeStamp",
    "AVCDecGetFrameMemorySize", "AVCDecAssignFrameMemory", "AVCDecAccessUnit", "AVCDecConfigurationRecord",
    "AVCDecSetNalLenSize", "AVCDecGetSideInfoEx", "AVCDecDebugDump", "AVCDecGetCoreBufDump",
    "AVCDecGetVersionID", "AVCDecCreateInstanceEx", "AVCDecCreateInstanceEx2", "AVCDecReserveFrameID"};

// One process-wide slot per name; a later load writes the same values again.
std::atomic<FARPROC> g_entries[kEntryCount];

template <typename Function, typename... Args>
int32_t Call(Entry entry, Args... args) {
  const FARPROC slot = g_entries[entry].load(std::memory_order_acquire);
  if (slot == nullptr) return kCoreEntryMissing;
  return reinterpret_cast<Function*>(slot)(args...);
}

}  // namespace

std::string OwnModuleFolder() {
  std::string path = win32::ModulePathOfAddress(reinterpret_cast<const void*>(&OwnModuleFolder));
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return {};
  path.resize(slash + 1);
  return path;
}

bool LoadAvcCore(HMODULE* module) {
  if (*module != nullptr) return true;
  const std::string folder = OwnModuleFolder();
  if (folder.empty()) return false;
  const std::string path = folder + kCoreFileName;
  HMODULE loaded = LoadLibraryA(path.c_str());
  if (loaded == nullptr) return false;
  for (int i = 0; i < kEntryCount; ++i)
    g_entries[i].store(GetProcAddress(loaded, kEntryNames[i]), std::memory_order_release);
  *module = loaded;
  return true;
}

namespace core {

int32_t CreateInstanceEx2(TlxAvcHandle* handle, int32_t mode, TlxAvcPictureReady callback, void* context) {
  return Call<decltype(AVCDecCreateInstanceEx2)>(kCreateInstanceEx2, handle, mode, callback, context);
}
int32_t ReleaseInstance(TlxAvcHandle* handle) {
  return Call<decltype(AVCDecReleaseInstance)>(kReleaseInstance, handle);
}
int32_t Discontinue(TlxAvcHandle handle) { return Call<decltype(AVCDecDiscontinue)>(kDiscontinue, handle); }
int32_t Initialize(TlxAvcHandle handle) { return Call<decltype(AVCDecInitialize)>(kInitialize, handle); }
int32_t NALUnit(TlxAvcHandle handle, TlxAvcNalResult* result, const TlxAvcNalData* unit) {
  return Call<decltype(AVCDecNALUnit)>(kNALUnit, handle, result, unit);
}
int32_t AttachExtTimeStamp(TlxAvcHandle handle, const TlxAvcExtTimeStamp* stamp) {
  return Call<decltype(AVCDecAttachExtTimeStamp)>(kAttachExtTimeStamp, handle, stamp);
}
int32_t SetAuxData(TlxAvcHandle handle, const TlxAvcAuxData* aux) {
  return Call<decltype(AVCDecSetAuxData)>(kSetAuxData, handle, aux);
}
int32_t GetNumUnpullPicture(TlxAvcHandle handle, int32_t* count) {
  return Call<decltype(AVCDecGetNumUnpullPicture)>(kGetNumUnpullPicture, handle, count);
}
int32_t GetDecodeRatio(TlxAvcHandle handle, int32_t* ratio) {
  return Call<decltype(AVCDecGetDecodeRatio)>(kGetDecodeRatio, handle, ratio);
}
int32_t GetPicture(TlxAvcHandle handle, TlxAvcPictureId* id, TlxAvcPicture* picture, TlxAvcPictureTime* time) {
  return Call<decltype(AVCDecGetPicture)>(kGetPicture, handle, id, picture, time);
}
int32_t ReleasePicture(TlxAvcHandle handle) {
  return Call<decltype(AVCDecReleasePicture)>(kReleasePicture, handle);
}
int32_t GetSideInfo(TlxAvcHandle handle, const TlxAvcSideInfoQuery* query, void* answer) {
  return Call<decltype(AVCDecGetSideInfo)>(kGetSideInfo, handle, query, answer);
}
int32_t FinalizePicture(TlxAvcHandle handle, void* buffer) {
  return Call<decltype(AVCDecFinalizePicture)>(kFinalizePicture, handle, buffer);
}
int32_t FlushPicture(TlxAvcHandle handle, void* buffer) {
  return Call<decltype(AVCDecFlushPicture)>(kFlushPicture, handle, buffer);
}

}  // namespace core
}  // namespace tlx::avc

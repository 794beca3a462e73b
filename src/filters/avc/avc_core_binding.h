// Binding of the decoder core library at run time, from the folder that holds
// this filter's module, and one wrapper per entry the filter calls. A wrapper
// whose entry the library lacks answers kCoreEntryMissing.
#pragma once

#include <cstdint>
#include <string>

#include "avccore/tlxavccore.h"
#include "win32/modules.h"

namespace tlx::avc {

inline constexpr char kCoreFileName[] = "libtlxavccore.so";
inline constexpr int32_t kCoreEntryMissing = static_cast<int32_t>(0x80000000);

// The folder of the module this code lies in, with its trailing '/'; empty
// when it cannot be found.
std::string OwnModuleFolder();

// Loads the core beside this module into *module (nothing when it is set
// already) and binds the entry table. False when the library cannot be loaded.
bool LoadAvcCore(HMODULE* module);

namespace core {

int32_t CreateInstanceEx2(TlxAvcHandle* handle, int32_t mode, TlxAvcPictureReady callback, void* context);
int32_t ReleaseInstance(TlxAvcHandle* handle);
int32_t Discontinue(TlxAvcHandle handle);
int32_t Initialize(TlxAvcHandle handle);
int32_t NALUnit(TlxAvcHandle handle, TlxAvcNalResult* result, const TlxAvcNalData* unit);
int32_t AttachExtTimeStamp(TlxAvcHandle handle, const TlxAvcExtTimeStamp* stamp);
int32_t SetAuxData(TlxAvcHandle handle, const TlxAvcAuxData* aux);
int32_t GetNumUnpullPicture(TlxAvcHandle handle, int32_t* count);
int32_t GetDecodeRatio(TlxAvcHandle handle, int32_t* ratio);
int32_t GetPicture(TlxAvcHandle handle, TlxAvcPictureId* id, TlxAvcPicture* picture, TlxAvcPictureTime* time);
int32_t ReleasePicture(TlxAvcHandle handle);
int32_t GetSideInfo(TlxAvcHandle handle, const TlxAvcSideInfoQuery* query, void* answer);
int32_t FinalizePicture(TlxAvcHandle handle, void* buffer);
int32_t FlushPicture(TlxAvcHandle handle, void* buffer);

}  // namespace core
}  // namespace tlx::avc

// The fake filter modules as a test meets them: copied under the system's
// module file names into a folder of their own that the module search looks
// in first ($TLX_MODULE_PATH), so the engine's file-first creation takes the
// fakes; registered on request, so its creation by friendly name does too.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "com/unknown.h"
#include "support/child_process.h"

namespace tlx::engine::test {

// The module file names the fakes are copied under. The AAC decoder is in
// lower case, where the engine asks for "TLXAACDEC.ax", so a lookup that
// heeds case finds nothing. The recording video renderer keeps a name of its
// own: the engine creates video renderers by class only.
inline constexpr const char* kFakeStreamingClientFile = "TlxStreamingClient.ax";
inline constexpr const char* kFakeDecryptorFile = "TlxAESDecryptor.ax";
inline constexpr const char* kFakeAacDecoderFile = "tlxaacdec.ax";
inline constexpr const char* kFakeMpeg4DecoderFile = "tlxm4vdec.ax";
inline constexpr const char* kFakeAvcDecoderFile = "tlxavcdec.ax";
inline constexpr const char* kFakeAudioRendererFile = "RavixDSAudRenderer.ax";
inline constexpr const char* kFakePostFilterFile = "TlxPostFilter.ax";
inline constexpr const char* kFakeVideoRendererFile = "FakeRecordingVideoRenderer.ax";

class FakeModuleFolder {
 public:
  // Copies every fake module from the program folder and puts the new
  // folder first in $TLX_MODULE_PATH.
  FakeModuleFolder();
  // Unregisters what Register registered and restores $TLX_MODULE_PATH.
  // Unregistering the video renderer leaves its class without a server in
  // this process.
  ~FakeModuleFolder();
  FakeModuleFolder(const FakeModuleFolder&) = delete;
  FakeModuleFolder& operator=(const FakeModuleFolder&) = delete;

  const std::filesystem::path& path() const { return folder_.path(); }
  // The copy's full path, under one of the file names above.
  std::string Module(const char* file) const;
  // Registers the copy: its filter joins the filter category under the
  // system's friendly name, and its class is served from the copy (the
  // video renderer's takes the place of the mixing renderer class).
  HRESULT Register(const char* file);
  // Registers every copy; the first failure ends it.
  HRESULT RegisterAll();
  // Deletes the copy, so the module search no longer finds it.
  void Remove(const char* file);

 private:
  tlx::test::TempFolder folder_;
  bool hadPath_ = false;
  std::string oldPath_;
  std::vector<std::string> registered_;
};

}  // namespace tlx::engine::test

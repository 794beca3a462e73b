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
// heeds case finds nothing. The two video renderers keep names of their own:
// the engine creates video renderers by class only. The recording one serves
// the two mixing renderer classes; the refusing one serves all three renderer
// classes and connects to nothing.
inline constexpr const char* kFakeStreamingClientFile = "TlxStreamingClient.ax";
inline constexpr const char* kFakeDecryptorFile = "TlxAESDecryptor.ax";
inline constexpr const char* kFakeAacDecoderFile = "tlxaacdec.ax";
inline constexpr const char* kFakeMpeg4DecoderFile = "tlxm4vdec.ax";
inline constexpr const char* kFakeAvcDecoderFile = "tlxavcdec.ax";
inline constexpr const char* kFakeAudioRendererFile = "RavixDSAudRenderer.ax";
inline constexpr const char* kFakePostFilterFile = "TlxPostFilter.ax";
inline constexpr const char* kFakeVideoRendererFile = "FakeRecordingVideoRenderer.ax";
inline constexpr const char* kFakeRefusingVideoRendererFile = "FakeVideoRenderer.ax";

class FakeModuleFolder {
 public:
  // Copies every fake module from the program folder and puts the new
  // folder first in $TLX_MODULE_PATH.
  FakeModuleFolder();
  // Unregisters what Register registered and restores $TLX_MODULE_PATH.
  // Unregistering a video renderer leaves its classes without a server for
  // the rest of the process, the system renderer's registration included.
  ~FakeModuleFolder();
  FakeModuleFolder(const FakeModuleFolder&) = delete;
  FakeModuleFolder& operator=(const FakeModuleFolder&) = delete;

  const std::filesystem::path& path() const { return folder_.path(); }
  // The copy's full path, under one of the file names above.
  std::string Module(const char* file) const;
  // Registers the copy: its filter joins the filter category under the
  // system's friendly name, and its class is served from the copy (the
  // video renderers' take the place of the system renderer's classes).
  HRESULT Register(const char* file);
  // Registers every copy but the refusing video renderer's; the first
  // failure ends it.
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

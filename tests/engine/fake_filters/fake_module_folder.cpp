#include "fake_module_folder.h"

#include <cstdlib>

#include "dshow/filter_module.h"

namespace tlx::engine::test {
namespace {

struct FakeModule {
  const char* built;  // the name the build gives it
  const char* file;   // the name it is copied under
};

constexpr FakeModule kFakeModules[] = {
    {"FakeStreamingClient.ax", kFakeStreamingClientFile}, {"FakeAESDecryptor.ax", kFakeDecryptorFile},
    {"FakeAacDecoder.ax", kFakeAacDecoderFile},           {"FakeMpeg4Decoder.ax", kFakeMpeg4DecoderFile},
    {"FakeAvcDecoder.ax", kFakeAvcDecoderFile},           {"FakeAudioRenderer.ax", kFakeAudioRendererFile},
    {"FakePostFilter.ax", kFakePostFilterFile},           {"FakeRecordingVideoRenderer.ax", kFakeVideoRendererFile},
};

}  // namespace

FakeModuleFolder::FakeModuleFolder() {
  for (const FakeModule& module : kFakeModules) {
    std::filesystem::copy_file(tlx::test::ProgramFolder() / module.built, folder_.path() / module.file);
  }
  const char* old = std::getenv("TLX_MODULE_PATH");
  hadPath_ = old != nullptr;
  if (hadPath_) oldPath_ = old;
  const std::string path =
      hadPath_ && !oldPath_.empty() ? folder_.path().string() + ":" + oldPath_ : folder_.path().string();
  setenv("TLX_MODULE_PATH", path.c_str(), 1);
}

FakeModuleFolder::~FakeModuleFolder() {
  for (const std::string& module : registered_) dshow::UnregisterFilterModule(module);
  if (hadPath_) {
    setenv("TLX_MODULE_PATH", oldPath_.c_str(), 1);
  } else {
    unsetenv("TLX_MODULE_PATH");
  }
}

std::string FakeModuleFolder::Module(const char* file) const { return (folder_.path() / file).string(); }

HRESULT FakeModuleFolder::Register(const char* file) {
  const HRESULT hr = dshow::RegisterFilterModule(Module(file));
  if (SUCCEEDED(hr)) registered_.push_back(Module(file));
  return hr;
}

HRESULT FakeModuleFolder::RegisterAll() {
  for (const FakeModule& module : kFakeModules) {
    const HRESULT hr = Register(module.file);
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

void FakeModuleFolder::Remove(const char* file) { std::filesystem::remove(Module(file)); }

}  // namespace tlx::engine::test

// The resources of one test: the module a ModuleBuilder makes becomes the
// resource handle and the window layer takes its resources through the
// resource chain, as in the player. The destructor gives back the handle it
// replaced (and, when there was none, leaves the window layer without a
// source) and frees the module.
#pragma once

#include <QBuffer>
#include <QImage>

#include "mfc/resources.h"
#include "resources/module_builder.h"
#include "resources/tlx_pc_resource.h"

namespace mfc_test {

class FixtureModule {
 public:
  explicit FixtureModule(tlx::resources::ModuleBuilder& builder)
      : module_(builder.Build()), previous_(AfxGetResourceHandle()) {
    AfxSetResourceHandle(module_);
    tlx::resources::InstallWindowResources();
  }
  ~FixtureModule() {
    AfxSetResourceHandle(previous_);
    if (previous_ == nullptr) tlx::mfc::SetResourceSource(nullptr);
    TlxPcFreeResourceLibrary(module_);
  }
  FixtureModule(const FixtureModule&) = delete;
  FixtureModule& operator=(const FixtureModule&) = delete;

 private:
  HINSTANCE module_;
  HINSTANCE previous_;
};

// A picture as the bytes of a PNG file, as bundles keep them.
inline QByteArray Png(const QImage& image) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

}  // namespace mfc_test

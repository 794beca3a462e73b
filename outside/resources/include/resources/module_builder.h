// Builds a resource module in memory, for the tests of the libraries that
// look resources up.
#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "resources/tlx_pc_resource.h"

namespace tlx::resources {

class Module;

class ModuleBuilder {
 public:
  ModuleBuilder();
  ~ModuleBuilder();
  // `language` 0 is the neutral form.
  ModuleBuilder& String(UINT id, const QString& text, LANGID language = 0);
  // `type` is a bundle folder name: "dialogs", "menus", "BITMAP", "IMAGE",
  // "ICON" or a data table type such as "TLXPC_RCN_SET_FILE".
  ModuleBuilder& Resource(const char* type, UINT id, QByteArray bytes, LANGID language = 0);
  // The loaded module (TlxPcFreeResourceLibrary frees it); the builder is
  // empty again afterwards.
  HINSTANCE Build();

 private:
  std::unique_ptr<Module> module_;
};

// Makes the window layer take its strings, templates and images from the
// resource chain (images: BITMAP, then IMAGE, then ICON).
void InstallWindowResources();

}  // namespace tlx::resources

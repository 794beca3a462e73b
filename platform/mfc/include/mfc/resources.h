// Where the window layer takes its resources from: strings, dialog and menu
// templates (our own JSON) and images, by id. The region resource library
// installs its chain here (tests build their modules with its ModuleBuilder).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <memory>

#include "win32/types.h"

namespace tlx::mfc {

class ResourceSource {
 public:
  virtual ~ResourceSource() = default;
  // Each returns false when the source has no resource with that id.
  virtual bool String(UINT id, QString* text) = 0;
  virtual bool DialogTemplate(UINT id, QByteArray* json) = 0;
  virtual bool MenuTemplate(UINT id, QByteArray* json) = 0;
  virtual bool Image(UINT id, QImage* image) = 0;
};

// Installs the source the layer asks from now on (null: none); returns the one
// it replaces.
std::shared_ptr<ResourceSource> SetResourceSource(std::shared_ptr<ResourceSource> source);

bool LoadResourceString(UINT id, QString* text);
bool LoadDialogTemplate(UINT id, QByteArray* json);
bool LoadMenuTemplate(UINT id, QByteArray* json);
bool LoadResourceImage(UINT id, QImage* image);

}  // namespace tlx::mfc

#include <QJsonDocument>

#include "mfc/resources.h"
#include "resources/module_builder.h"

namespace tlx::resources {
namespace {

// The resource's bytes from the first module of the chain that has it.
bool ChainBytes(LPCSTR type, UINT id, QByteArray* bytes) {
  HINSTANCE module = AfxFindResourceHandle(MAKEINTRESOURCEA(id), type);
  HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (resource == nullptr) return false;
  const void* data = LockResource(LoadResource(module, resource));
  *bytes = QByteArray(static_cast<const char*>(data), SizeofResource(module, resource));
  return true;
}

// A template is handed on only when it is JSON, so a damaged one fails its
// lookup instead of reaching the window layer's parser.
bool ChainTemplate(LPCSTR type, UINT id, QByteArray* json) {
  QByteArray bytes;
  QJsonParseError error{};
  if (!ChainBytes(type, id, &bytes)) return false;
  const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
  if (!document.isObject() && !document.isArray()) return false;
  *json = std::move(bytes);
  return true;
}

class ChainSource : public mfc::ResourceSource {
 public:
  bool String(UINT id, QString* text) override {
    QByteArray bytes;
    if (!ChainBytes(RT_STRING, id, &bytes)) return false;
    *text = QString(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
    return true;
  }
  bool DialogTemplate(UINT id, QByteArray* json) override { return ChainTemplate(RT_DIALOG, id, json); }
  bool MenuTemplate(UINT id, QByteArray* json) override { return ChainTemplate(RT_MENU, id, json); }
  bool Image(UINT id, QImage* image) override {
    for (LPCSTR type : {RT_BITMAP, static_cast<LPCSTR>("IMAGE"), RT_ICON}) {
      QByteArray bytes;
      if (ChainBytes(type, id, &bytes)) return image->loadFromData(bytes);
    }
    return false;
  }
};

}  // namespace

void InstallWindowResources() { mfc::SetResourceSource(std::make_shared<ChainSource>()); }

}  // namespace tlx::resources

#include "mfc/resources.h"

#include <mutex>

namespace tlx::mfc {
namespace {

std::mutex g_lock;
std::shared_ptr<ResourceSource> g_source;

std::shared_ptr<ResourceSource> Current() {
  std::lock_guard lock(g_lock);
  return g_source;
}

}  // namespace

std::shared_ptr<ResourceSource> SetResourceSource(std::shared_ptr<ResourceSource> source) {
  std::lock_guard lock(g_lock);
  g_source.swap(source);
  return source;
}

bool LoadResourceString(UINT id, QString* text) {
  auto source = Current();
  return source && source->String(id, text);
}

bool LoadDialogTemplate(UINT id, QByteArray* json) {
  auto source = Current();
  return source && source->DialogTemplate(id, json);
}

bool LoadMenuTemplate(UINT id, QByteArray* json) {
  auto source = Current();
  return source && source->MenuTemplate(id, json);
}

bool LoadResourceImage(UINT id, QImage* image) {
  auto source = Current();
  return source && source->Image(id, image);
}

}  // namespace tlx::mfc

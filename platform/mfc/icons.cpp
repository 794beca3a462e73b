#include <map>
#include <memory>
#include <mutex>

#include "mfc/gdi.h"
#include "mfc/resources.h"

namespace {

// The loaded icons by resource id; kept until the process ends.
struct Icons {
  std::mutex lock;
  std::map<UINT, std::unique_ptr<QImage>> byId;
};

Icons& TheIcons() {
  static Icons icons;
  return icons;
}

HICON HandleOf(const QImage* image) { return reinterpret_cast<HICON>(const_cast<QImage*>(image)); }

}  // namespace

HICON LoadIcon(HINSTANCE /*instance*/, const WCHAR* name) {
  auto value = reinterpret_cast<uintptr_t>(name);
  if (value == 0 || value > 0xFFFF) return nullptr;
  UINT id = static_cast<UINT>(value);
  Icons& icons = TheIcons();
  {
    std::lock_guard lock(icons.lock);
    auto it = icons.byId.find(id);
    if (it != icons.byId.end()) return HandleOf(it->second.get());
  }
  QImage image;
  if (!tlx::mfc::LoadResourceImage(id, &image) || image.isNull()) return nullptr;
  std::lock_guard lock(icons.lock);
  auto& slot = icons.byId[id];
  if (!slot) slot = std::make_unique<QImage>(std::move(image));  // another thread may have loaded it meanwhile
  return HandleOf(slot.get());
}

QImage tlx::mfc::IconImage(HICON icon) {
  Icons& icons = TheIcons();
  std::lock_guard lock(icons.lock);
  for (const auto& [id, image] : icons.byId) {
    if (HandleOf(image.get()) == icon) return *image;
  }
  return QImage();
}

BOOL DestroyIcon(HICON icon) { return tlx::mfc::IconImage(icon).isNull() ? FALSE : TRUE; }

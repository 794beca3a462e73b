#include "common/tlx_pc_cmn_img_bitmap.h"

#include <QImage>
#include <cstdint>
#include <mutex>

#include "resources/tlx_pc_resource.h"

namespace {

std::recursive_mutex& ImageMutex() {
  static std::recursive_mutex mutex;
  return mutex;
}

const LPCSTR kImageType = "IMAGE";

// The id a resource name stands for: MAKEINTRESOURCEW(id) or "#id" (1 to
// 65535); false for any other name.
bool ResourceId(const WCHAR* name, UINT* id) {
  auto value = reinterpret_cast<uintptr_t>(name);
  if ((value >> 16) == 0) {
    *id = static_cast<UINT>(value);
    return value != 0;
  }
  if (name[0] != u'#' || name[1] == 0) return false;
  UINT n = 0;
  for (const WCHAR* c = name + 1; *c != 0; ++c) {
    if (*c < u'0' || *c > u'9') return false;
    n = n * 10 + static_cast<UINT>(*c - u'0');
    if (n > 0xFFFF) return false;
  }
  *id = n;
  return n != 0;
}

// The bytes of resource `id` of `type` from the first module of the chain that
// has it; false when none has.
bool ChainResource(UINT id, LPCSTR type, const void** bytes, DWORD* size) {
  LPCSTR name = MAKEINTRESOURCEA(id);
  HINSTANCE module = AfxFindResourceHandle(name, type);
  if (module == nullptr) return false;
  HRSRC resource = FindResource(module, name, type);
  if (resource == nullptr) return false;
  *bytes = LockResource(LoadResource(module, resource));
  *size = SizeofResource(module, resource);
  return *bytes != nullptr;
}

}  // namespace

CImgBitmap::~CImgBitmap() {
  std::lock_guard lock(ImageMutex());
  bitmap_.reset();
  image_.reset();
}

void CImgBitmap::Lock() { ImageMutex().lock(); }

void CImgBitmap::Unlock() { ImageMutex().unlock(); }

BOOL CImgBitmap::LoadBitmapW(UINT id) { return LoadBitmapW(MAKEINTRESOURCEW(id)); }

BOOL CImgBitmap::LoadBitmapW(const WCHAR* name) {
  std::lock_guard lock(ImageMutex());
  UINT id = 0;
  const void* bytes = nullptr;
  DWORD size = 0;
  if (ResourceId(name, &id) && ChainResource(id, kImageType, &bytes, &size)) {
    bitmap_.reset();
    if (!image_) image_ = std::make_shared<CImage>();
    return image_->Load(bytes, size);  // a failed load leaves the image empty
  }
  image_.reset();
  if (!bitmap_) bitmap_ = std::make_shared<CBitmap>();
  bitmap_->DeleteObject();
  if (id == 0 || !ChainResource(id, RT_BITMAP, &bytes, &size) || size > static_cast<DWORD>(INT32_MAX)) return FALSE;
  return bitmap_->Attach(QImage::fromData(static_cast<const uchar*>(bytes), static_cast<int>(size)));
}

CBitmap* CImgBitmap::GetBitmap() const {
  std::lock_guard lock(ImageMutex());
  if (bitmap_) return bitmap_->created ? bitmap_.get() : nullptr;
  return image_ ? image_->GetBitmap() : nullptr;
}

int CImgBitmap::GetBitmap(BITMAP* out) const {
  std::lock_guard lock(ImageMutex());
  CBitmap* bitmap = GetBitmap();
  return bitmap == nullptr ? 0 : bitmap->GetBitmap(out);
}

BOOL CImgBitmap::DeleteObject() {
  std::lock_guard lock(ImageMutex());
  if (GetBitmap() == nullptr) return FALSE;
  if (bitmap_) return bitmap_->DeleteObject();
  image_->Destroy();
  return TRUE;
}

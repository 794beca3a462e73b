// CImgBitmap: the image of an owner-drawn control, loaded by resource id from
// the resource chain and handed out as a bitmap.
//
// An "IMAGE" resource (the bytes of a PNG file) is taken first; without one
// the BITMAP resource of the same id. The object holds one of the two at a
// time: a PNG load drops a bitmap held before, a bitmap load drops the image.
// Copies share what they hold; the last copy frees it.
//
// Decoding and freeing run under one class-wide recursive lock, which the
// controls also take (Lock, Unlock) around their own use of the images.
#pragma once

#include <memory>

#include "mfc/gdi.h"
#include "win32/types.h"

class CImgBitmap {
 public:
  CImgBitmap() = default;
  CImgBitmap(const CImgBitmap&) = default;
  CImgBitmap& operator=(const CImgBitmap&) = default;
  virtual ~CImgBitmap();

  static void Lock();
  static void Unlock();

  // `name` is an id: MAKEINTRESOURCEW(id) or "#id". FALSE when the name is
  // not an id, the chain has neither resource or the bytes do not decode; the
  // object is then empty.
  BOOL LoadBitmapW(const WCHAR* name);
  BOOL LoadBitmapW(UINT id);

  // The bitmap GetBitmap gives, null when empty (the window layer's drawing
  // objects have no handles).
  operator void*() const { return GetBitmap(); }
  // The picture as a bitmap owned by this object (and its copies), valid while
  // they hold it; null when empty.
  CBitmap* GetBitmap() const;
  // Fills `out` with the picture's size and format; 0 when empty.
  int GetBitmap(BITMAP* out) const;
  // The decoded PNG, null when none was loaded.
  CImage* GetImage() const { return image_.get(); }
  // Frees the picture and keeps the object that held it, so a later load of
  // the same kind reuses it. FALSE when empty.
  BOOL DeleteObject();

 private:
  std::shared_ptr<CBitmap> bitmap_;
  std::shared_ptr<CImage> image_;
};

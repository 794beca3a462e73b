#include "picture_output.h"

#include "status.h"

namespace tlx::mpeg4 {

uint32_t OutputPicture(const References& refs, const StreamState& stream, Mpeg4DecFrame& frame) {
  const VopHeader& vop = stream.vop;
  Picture* picture;
  if (stream.shortHeaderMode != 0) {
    picture = refs.current;
  } else if (frame.pictureKind == 0) {
    picture = refs.past;
  } else if (vop.coded != 0) {
    // Pictures leave in display order: a reference is shown once the next
    // reference has been decoded.
    picture = vop.codingType == kVopB ? refs.current : refs.past;
  } else {
    picture = (vop.codingType == kVopI || vop.codingType == kVopP) ? refs.future : refs.past;
  }
  if (picture == nullptr) return kStatusInvalidArgument;
  if (picture->valid != kPictureValid) {
    frame.outputAvailable = 0;
    frame.reorderDelay = 0;
    frame.yPlane = frame.uPlane = frame.vPlane = nullptr;
    frame.yStride = frame.uStride = frame.vStride = 0;
    return 0;
  }
  frame.reorderDelay = picture->reorder / 2;
  frame.outputAvailable = 1;
  frame.yPlane = picture->yOrigin;
  frame.uPlane = picture->uOrigin;
  frame.vPlane = picture->vOrigin;
  frame.yStride = uint32_t(picture->lumaStride);
  frame.uStride = frame.vStride = uint32_t(picture->chromaStride);
  return 0;
}

}  // namespace tlx::mpeg4

// Which decoded picture a call returns, and how the record describes it.
#include "mpeg4_decoder.h"

namespace tlx::mpeg4 {

uint32_t OutputPicture(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame) {
  const VopHeader& vop = decoder.vop;
  Picture* picture;
  if (decoder.shortHeaderMode != 0) {
    picture = decoder.current;
  } else if (frame.pictureKind == 0) {
    picture = decoder.pastReference;
  } else if (vop.coded != 0) {
    // Pictures leave in display order: a reference is shown once the next
    // reference has been decoded.
    picture = vop.codingType == kVopB ? decoder.current : decoder.pastReference;
  } else {
    picture = (vop.codingType == kVopI || vop.codingType == kVopP) ? decoder.futureReference : decoder.pastReference;
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

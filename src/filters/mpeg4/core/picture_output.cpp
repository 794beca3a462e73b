#include "filters/mpeg4/core/picture_output.h"

#include <algorithm>

#include "filters/mpeg4/core/mpeg4_decoder.h"
#include "filters/mpeg4/core/output/deblocking.h"
#include "filters/mpeg4/core/output/planar_output.h"
#include "filters/mpeg4/core/status.h"
#include "filters/mpeg4/core/stream_headers.h"
#include "filters/mpeg4/core/yuv_rgb/output_converter.h"

namespace tlx::mpeg4 {
namespace {

Picture* ChoosePicture(const References& refs, const StreamState& stream, const Mpeg4DecFrame& frame) {
  const VopHeader& vop = stream.vop;
  if (stream.shortHeaderMode != 0) return refs.current;
  if (frame.pictureKind == 0) return refs.past;
  if (vop.coded != 0) {
    // Pictures leave in display order: a reference is shown once the next
    // reference has been decoded.
    return vop.codingType == kVopB ? refs.current : refs.past;
  }
  // A not-coded VOP repeats the picture shown before its time: for a
  // reference type (I, P and the S-VOPs of GMC, which are references like
  // P-VOPs) the reference just decoded, not yet shown; for a B-VOP the past
  // reference.
  return vop.codingType != kVopB ? refs.future : refs.past;
}

// True for a not-coded I-, P- or S-VOP at the time of the reference it returns:
// the placeholder a packed stream sends in the packet after a P-VOP and the
// B-VOP packed with it. It shows that reference in its own turn's stead. A
// not-coded VOP at a later time repeats the reference, which then also
// keeps its turn.
bool ReturnsReferenceAhead(const StreamState& stream, const Mpeg4DecFrame& frame, const Picture& picture) {
  const VopHeader& vop = stream.vop;
  if (stream.shortHeaderMode != 0 || frame.pictureKind == 0 || vop.coded != 0) return false;
  if (vop.codingType == kVopB) return false;
  return AddSeconds(stream.nextReferenceBase, vop.moduloTimeBase) == picture.timeSeconds &&
         int32_t(vop.timeIncrement) == picture.timeIncrement;
}

// The area's size along one axis: position held inside the display size,
// a requested size of 0 meaning the display size, shortened at the edge.
uint32_t AreaSize(uint32_t position, uint32_t requested, uint32_t display) {
  position = std::min(position, display - 1);
  if (requested == 0) return display;
  return std::min(requested, display - position);
}

void Convert(Mpeg4Decoder& decoder, const Picture& picture, const Mpeg4DecFrame& frame) {
  const VolHeader& vol = decoder.stream.vol;
  if (vol.width == 0 || vol.height == 0) return;
  const int width = int(AreaSize(frame.outputX, frame.outputWidth, vol.width));
  const int height = int(AreaSize(frame.outputY, frame.outputHeight, vol.height));
  const Picture* source = &picture;
  if (decoder.output.postProcess != nullptr) {
    decoder.output.postProcess->Process(*decoder.refs.postFilter, picture);
    source = decoder.refs.postFilter;
  }
  OutputConverter& converter = *decoder.output.converter;
  if ((frame.outputFormat & 0x100000) == 0) {
    converter.ConverterSetup(0, 0);
  } else {
    converter.ConverterSetup(1, (frame.outputFormat & 0x200000) == 0 ? 16 : 0);
  }
  const uint32_t code = frame.outputFormat & 0xFF00000F;
  uint8_t* destination = frame.outputBuffer;
  ptrdiff_t stride = frame.outputStride;
  const uint32_t kind = code & ~1u;
  const bool rgb = kind == kMpeg4OutputRgb555 || kind == kMpeg4OutputRgb565 || kind == kMpeg4OutputRgb24 ||
                   kind == kMpeg4OutputRgb32;
  if (rgb && (code & 1) == 0) {
    destination += (height - 1) * stride;
    stride = -stride;
  }
  const uint8_t* y = source->yOrigin;
  const uint8_t* u = source->uOrigin;
  const uint8_t* v = source->vOrigin;
  if (code == kMpeg4OutputPlanar) {
    CopyPlanar(destination, y, u, v, width, height, source->lumaStride, source->chromaStride);
  } else if (code == kMpeg4OutputYuy2) {
    decoder.dsp.output.packYuy2(y, u, v, destination, width, height, stride, source->lumaStride);
  } else if (rgb) {
    const RgbFormat format = kind == kMpeg4OutputRgb555   ? RgbFormat::Rgb555
                             : kind == kMpeg4OutputRgb565 ? RgbFormat::Rgb565
                             : kind == kMpeg4OutputRgb24  ? RgbFormat::Rgb24
                                                          : RgbFormat::Rgb32;
    converter.Convert(format, ConversionMode::Progressive, y, u, v, destination, width, height, stride,
                      source->lumaStride);
  }
}

}  // namespace

void Picture::OutputPlanar(uint8_t* destination, int outputWidth, int outputHeight, ptrdiff_t stride) const {
  OutputPlanarRoutine(destination, yOrigin, uOrigin, vOrigin, outputWidth, outputHeight, stride, stride / 2,
                      lumaStride, chromaStride);
}

void Picture::OutputPlanarSwapped(uint8_t* destination, int outputWidth, int outputHeight, ptrdiff_t stride) const {
  OutputPlanarRoutine(destination, yOrigin, vOrigin, uOrigin, outputWidth, outputHeight, stride, stride / 2,
                      lumaStride, chromaStride);
}

void Picture::OutputPacked(uint8_t* destination, int outputWidth, int outputHeight, ptrdiff_t stride) const {
  PackYuy2(yOrigin, uOrigin, vOrigin, destination, outputWidth, outputHeight, stride, lumaStride);
}

uint32_t OutputPicture(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame) {
  Picture* picture = ChoosePicture(decoder.refs, decoder.stream, frame);
  if (picture == nullptr) return kStatusInvalidArgument;
  if (picture->valid != kPictureValid || picture->returnedAhead != 0) {
    frame.outputAvailable = 0;
    frame.reorderDelay = 0;
    frame.yPlane = frame.uPlane = frame.vPlane = nullptr;
    frame.yStride = frame.uStride = frame.vStride = 0;
    return 0;
  }
  if (ReturnsReferenceAhead(decoder.stream, frame, *picture)) picture->returnedAhead = 1;
  frame.reorderDelay = picture->reorder / 2;
  frame.outputAvailable = 1;
  frame.yPlane = picture->yOrigin;
  frame.uPlane = picture->uOrigin;
  frame.vPlane = picture->vOrigin;
  frame.yStride = uint32_t(picture->lumaStride);
  frame.uStride = frame.vStride = uint32_t(picture->chromaStride);
  if (frame.outputBuffer != nullptr) Convert(decoder, *picture, frame);
  return 0;
}

}  // namespace tlx::mpeg4

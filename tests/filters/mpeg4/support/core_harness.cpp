#include "filters/mpeg4/support/core_harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <utility>
#include <iterator>

#include "filters/mpeg4/core/decoder_api.h"
#include "filters/mpeg4/core/inspection.h"
#include "filters/mpeg4/core/mpeg4_decoder.h"

namespace tlx::mpeg4::test {
namespace {

void CopyPlane(std::vector<uint8_t>& to, const uint8_t* from, uint32_t stride, int width, int height) {
  to.resize(size_t(width) * height);
  for (int row = 0; row < height; ++row) std::memcpy(&to[size_t(row) * width], from + size_t(row) * stride, width);
}

void Observe(void* context, const MacroblockReport& report) {
  CoreMacroblock macroblock;
  macroblock.index = report.index;
  macroblock.flags = report.flags;
  macroblock.codedBlockPattern = report.codedBlockPattern;
  macroblock.quantiser = report.quantiser;
  macroblock.mode = report.mode;
  std::memcpy(macroblock.vectors, report.vectors, sizeof(macroblock.vectors));
  std::memcpy(macroblock.backward, report.backward, sizeof(macroblock.backward));
  std::memcpy(macroblock.levels, report.levels, sizeof(macroblock.levels));
  auto* decode = static_cast<CoreDecode*>(context);
  macroblock.call = uint32_t(decode->statuses.size());
  decode->macroblocks.push_back(macroblock);
}

// Feeds the whole stream and the end marker, calling `beforeCall` with the
// instance and the call's number before every call.
CoreDecode Decode(const std::vector<uint8_t>& stream, bool observe,
                  const std::function<void(Mpeg4Decoder&, uint32_t)>& beforeCall) {
  CoreDecode result;
  DriveDecoder(
      stream,
      [&](Mpeg4DecFrame&, Mpeg4Decoder& decoder, int call) {
        if (beforeCall) beforeCall(decoder, uint32_t(call));
      },
      [&](const Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, uint32_t status) {
        result.statuses.push_back(status);
        if (frame.pictureKind != 0 && decoder.stream.vop.coded != 0) {
          result.vops.push_back({uint32_t(result.statuses.size() - 1), frame.pictureKind});
        }
        if (frame.outputAvailable == 0) return;
        result.pictures.push_back(CopyReturnedPicture(frame, decoder));
      },
      observe ? Observe : nullptr, &result);
  return result;
}

}  // namespace

bool DriveDecoder(const std::vector<uint8_t>& stream, const PrepareCall& prepare, const AfterCall& after,
                  void (*observer)(void*, const MacroblockReport&), void* context) {
  std::vector<uint8_t> input(stream);
  input.insert(input.end(), {0x00, 0x00, 0x01, 0xB7});
  void* handle = nullptr;
  EXPECT_EQ(Mpeg4DecInit(&handle), 0u);
  if (handle == nullptr) return false;
  Mpeg4Decoder& decoder = InspectInstance(handle);
  if (observer != nullptr) SetMacroblockObserver(decoder, observer, context);
  size_t offset = 0;
  for (int call = 0; offset < input.size(); ++call) {
    Mpeg4DecFrame frame{};
    frame.input = input.data() + offset;
    frame.inputLength = uint32_t(input.size() - offset);
    prepare(frame, decoder, call);
    const uint32_t status = Mpeg4DecAFrame(handle, &frame);
    after(frame, decoder, status);
    if (frame.consumed == 0) break;
    offset += frame.consumed;
  }
  EXPECT_EQ(Mpeg4DecExit(handle), 0u);
  return true;
}

const Picture* ReturnedStore(const Mpeg4DecFrame& frame, const Mpeg4Decoder& decoder) {
  for (const Picture* store : decoder.refs.stores) {
    if (store->yOrigin == frame.yPlane) return store;
  }
  return nullptr;
}

CorePicture CopyReturnedPicture(const Mpeg4DecFrame& frame, const Mpeg4Decoder& decoder) {
  CorePicture picture;
  picture.kind = frame.pictureKind;
  picture.placeholder = frame.pictureKind != 0 && decoder.stream.vop.coded == 0;
  picture.width = int(frame.width);
  picture.height = int(frame.height);
  CopyPlane(picture.y, frame.yPlane, frame.yStride, picture.width, picture.height);
  CopyPlane(picture.u, frame.uPlane, frame.uStride, picture.width / 2, picture.height / 2);
  CopyPlane(picture.v, frame.vPlane, frame.vStride, picture.width / 2, picture.height / 2);
  if (const Picture* store = ReturnedStore(frame, decoder)) {
    picture.quantiserMap.assign(store->quantiserMap, store->quantiserMap + store->quantiserMapSize);
  }
  return picture;
}

const uint8_t* ReturnedQuantiserMap(const Mpeg4DecFrame& frame, const Mpeg4Decoder& decoder) {
  const Picture* store = ReturnedStore(frame, decoder);
  return store != nullptr ? store->quantiserMap : nullptr;
}

CoreDecode DecodeWithCore(const std::vector<uint8_t>& stream, bool observe) { return Decode(stream, observe, {}); }

CoreDecode DecodeWithInjectedReferences(const std::vector<uint8_t>& stream,
                                        const std::vector<ReferenceFrame>& frames) {
  const CoreDecode plain = Decode(stream, false, {});
  const std::vector<uint32_t> display = DisplayOrderCalls(plain);
  std::map<uint32_t, size_t> shown;  // call -> display index
  for (size_t i = 0; i < display.size() && i < frames.size(); ++i) shown[display[i]] = i;
  std::map<uint32_t, std::pair<int64_t, int64_t>> references;  // VOP call -> (past, future) reference calls
  int64_t past = -1, future = -1;
  for (const CoreVop& vop : plain.vops) {
    references[vop.call] = {past, future};
    if (vop.kind != 3) {
      past = future;
      future = vop.call;
    }
  }
  auto inject = [&](Picture* store, int64_t call) {
    const auto at = shown.find(uint32_t(call));
    if (store == nullptr || call < 0 || at == shown.end()) return;
    const ReferenceFrame& f = frames[at->second];
    if (f.width != store->width || f.height != store->height) return;
    InjectPicturePlanes(*store, f.y.data(), f.width, f.u.data(), f.v.data(), f.width / 2);
  };
  return Decode(stream, true, [&](Mpeg4Decoder& decoder, uint32_t call) {
    const auto found = references.find(call);
    if (found == references.end()) return;
    inject(decoder.refs.past, found->second.first);
    inject(decoder.refs.future, found->second.second);
  });
}

std::vector<uint32_t> DisplayOrderCalls(const CoreDecode& decode) {
  std::vector<uint32_t> calls;
  bool pending = false;
  uint32_t reference = 0;
  for (const CoreVop& vop : decode.vops) {
    if (vop.kind == 3) {
      calls.push_back(vop.call);
      continue;
    }
    if (pending) calls.push_back(reference);
    pending = true;
    reference = vop.call;
  }
  if (pending) calls.push_back(reference);
  return calls;
}

std::string FixtureTestName(const std::string& name) {
  std::string stem = name.substr(0, name.find('.'));
  for (char& c : stem) {
    if (c == 'x') c = 'X';
  }
  return stem;
}

std::string FixturePath(const std::string& name) { return std::string(MPEG4_FIXTURE_DIR) + "/" + name; }

std::vector<uint8_t> ReadFixture(const std::string& name) {
  std::ifstream in(FixturePath(name), std::ios::binary);
  EXPECT_TRUE(in.good()) << "missing fixture " << name;
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tlx::mpeg4::test

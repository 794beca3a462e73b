#include "filters/mpeg4/support/core_harness.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "inspection.h"
#include "filters/mpeg4/core/decoder_api.h"

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
  std::memcpy(macroblock.vectors, report.vectors, sizeof(macroblock.vectors));
  std::memcpy(macroblock.backward, report.backward, sizeof(macroblock.backward));
  std::memcpy(macroblock.levels, report.levels, sizeof(macroblock.levels));
  static_cast<CoreDecode*>(context)->macroblocks.push_back(macroblock);
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
    prepare(frame, call);
    const uint32_t status = Mpeg4DecAFrame(handle, &frame);
    after(frame, decoder, status);
    if (frame.consumed == 0) break;
    offset += frame.consumed;
  }
  EXPECT_EQ(Mpeg4DecExit(handle), 0u);
  return true;
}

const uint8_t* ReturnedQuantiserMap(const Mpeg4DecFrame& frame, const Mpeg4Decoder& decoder) {
  for (const Picture* store : decoder.refs.stores) {
    if (store->yOrigin == frame.yPlane) return store->quantiserMap;
  }
  return nullptr;
}

CoreDecode DecodeWithCore(const std::vector<uint8_t>& stream, bool observe) {
  CoreDecode result;
  DriveDecoder(
      stream, [&](Mpeg4DecFrame&, int) {},
      [&](const Mpeg4DecFrame& frame, Mpeg4Decoder& decoder, uint32_t status) {
        result.statuses.push_back(status);
        if (frame.outputAvailable == 0) return;
        CorePicture picture;
        picture.kind = frame.pictureKind;
        picture.width = int(frame.width);
        picture.height = int(frame.height);
        CopyPlane(picture.y, frame.yPlane, frame.yStride, picture.width, picture.height);
        CopyPlane(picture.u, frame.uPlane, frame.uStride, picture.width / 2, picture.height / 2);
        CopyPlane(picture.v, frame.vPlane, frame.vStride, picture.width / 2, picture.height / 2);
        for (Picture* store : decoder.refs.stores) {
          if (store->yOrigin == frame.yPlane) {
            picture.quantiserMap.assign(store->quantiserMap, store->quantiserMap + store->quantiserMapSize);
          }
        }
        result.pictures.push_back(std::move(picture));
      },
      observe ? Observe : nullptr, &result);
  return result;
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

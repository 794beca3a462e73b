#include "filters/mpeg4/support/stream_corrupter.h"

#include <algorithm>
#include <random>

namespace tlx::mpeg4::test {

std::vector<size_t> VopStarts(const std::vector<uint8_t>& stream) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 < stream.size(); ++i) {
    if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1 && stream[i + 3] == 0xB6) starts.push_back(i);
  }
  return starts;
}

std::vector<uint8_t> Head(const std::vector<uint8_t>& stream, int pictures) {
  const std::vector<size_t> starts = VopStarts(stream);
  if (pictures < 0 || size_t(pictures) >= starts.size()) return stream;
  return std::vector<uint8_t>(stream.begin(), stream.begin() + ptrdiff_t(starts[size_t(pictures)]));
}

std::string Corrupt(std::vector<uint8_t>& bytes, const std::vector<std::vector<uint8_t>>& headers, uint32_t seed) {
  std::mt19937 random(seed);
  auto below = [&](size_t n) { return n == 0 ? size_t(0) : size_t(random() % n); };
  std::string what = "seed " + std::to_string(seed) + ":";
  const int mutations = 1 + int(below(4));
  for (int m = 0; m < mutations && !bytes.empty(); ++m) {
    const std::vector<size_t> vops = VopStarts(bytes);
    switch (below(10)) {
      case 0: {  // a few flipped bits anywhere
        const int flips = 1 + int(below(8));
        for (int f = 0; f < flips; ++f) bytes[below(bytes.size())] ^= uint8_t(1u << below(8));
        what += " flips";
        break;
      }
      case 1:
      case 2: {  // 1-16 flipped bits inside one VOP's payload
        if (vops.empty()) break;
        const size_t v = below(vops.size());
        const size_t begin = std::min(bytes.size() - 1, vops[v] + 5);
        const size_t end = v + 1 < vops.size() ? vops[v + 1] : bytes.size();
        const int flips = 1 + int(below(16));
        for (int f = 0; f < flips && begin < end; ++f) bytes[begin + below(end - begin)] ^= uint8_t(1u << below(8));
        what += " vop-flips";
        break;
      }
      case 3: {  // a byte after a start code, where the values steer the parse
        std::vector<size_t> starts;
        for (size_t i = 0; i + 3 < bytes.size(); ++i) {
          if (bytes[i] == 0 && bytes[i + 1] == 0 && bytes[i + 2] == 1) starts.push_back(i + 3);
        }
        const size_t from = starts.empty() ? 0 : starts[below(starts.size())];
        bytes[std::min(bytes.size() - 1, from + below(24))] = uint8_t(random());
        what += " header-byte";
        break;
      }
      case 4:  // cut short
        bytes.resize(below(bytes.size()) + 1);
        what += " cut";
        break;
      case 5: {  // a start code where none belongs
        static const uint8_t kCodes[] = {0x00, 0x20, 0xB0, 0xB2, 0xB3, 0xB5, 0xB6, 0xB7, 0xC3};
        const uint8_t code = below(4) == 0 ? uint8_t(random()) : kCodes[below(sizeof(kCodes))];
        const std::vector<uint8_t> startCode = {0x00, 0x00, 0x01, code};
        bytes.insert(bytes.begin() + ptrdiff_t(below(bytes.size() + 1)), startCode.begin(), startCode.end());
        what += " start-code";
        break;
      }
      case 6: {  // another stream's headers spliced in at any position
        if (headers.empty()) break;
        const std::vector<uint8_t>& spliced = headers[below(headers.size())];
        if (spliced.empty()) break;
        const size_t at = below(bytes.size());
        bytes.insert(bytes.begin() + ptrdiff_t(at), spliced.begin(), spliced.begin() + ptrdiff_t(1 + below(spliced.size())));
        what += " splice";
        break;
      }
      case 7: {  // a run of random bytes over the data
        const size_t at = below(bytes.size());
        const size_t run = std::min(bytes.size() - at, 1 + below(64));
        for (size_t i = 0; i < run; ++i) bytes[at + i] = uint8_t(random());
        what += " random-run";
        break;
      }
      case 8: {  // a VOP dropped
        if (vops.empty()) break;
        const size_t v = below(vops.size());
        const size_t end = v + 1 < vops.size() ? vops[v + 1] : bytes.size();
        bytes.erase(bytes.begin() + ptrdiff_t(vops[v]), bytes.begin() + ptrdiff_t(end));
        what += " drop-vop";
        break;
      }
      default: {  // a VOP duplicated
        if (vops.empty()) break;
        const size_t v = below(vops.size());
        const size_t end = v + 1 < vops.size() ? vops[v + 1] : bytes.size();
        const std::vector<uint8_t> vop(bytes.begin() + ptrdiff_t(vops[v]), bytes.begin() + ptrdiff_t(end));
        bytes.insert(bytes.begin() + ptrdiff_t(end), vop.begin(), vop.end());
        what += " duplicate-vop";
        break;
      }
    }
  }
  if (bytes.empty()) bytes.push_back(0);
  return what;
}

}  // namespace tlx::mpeg4::test

// The MPEG-4 benchmark streams: found in the build tree, read, and split into
// pictures before any timing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tlx::mpeg4::bench {

struct BenchStream {
  std::string name;  // the file's stem: <source>_<W>x<H>_<profile>_<rate>
  int width = 0, height = 0;
  // Picture i is VOP i with the headers right before it, each followed
  // by the zero padding libavcodec may read past a packet.
  std::vector<std::vector<uint8_t>> pictures;
  std::vector<size_t> sizes;  // the pictures' lengths without the padding
};

// Every stream of the folder the streams were made in, in name order;
// `filter` keeps those whose name contains it. Empty when none were made.
std::vector<BenchStream> LoadBenchStreams(const std::string& filter = "");

}  // namespace tlx::mpeg4::bench

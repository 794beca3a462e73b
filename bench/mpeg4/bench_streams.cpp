#include "bench_streams.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace tlx::mpeg4::bench {

namespace {

// Where each picture begins: at its VOP start code, or at the headers
// (group of VOP, sequence, layer) that come right before it, so a picture
// carries its own headers as a demuxer's packet does.
std::vector<size_t> PictureStarts(const std::vector<uint8_t>& bytes) {
  std::vector<size_t> starts;
  size_t headers = 0;
  bool inHeaders = false;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) {
    if (bytes[i] != 0 || bytes[i + 1] != 0 || bytes[i + 2] != 1) continue;
    if (bytes[i + 3] == 0xB6) {
      starts.push_back(inHeaders ? headers : i);
      inHeaders = false;
    } else if (!inHeaders) {
      headers = i;
      inHeaders = true;
    }
  }
  return starts;
}

}  // namespace

std::vector<BenchStream> LoadBenchStreams(const std::string& filter) {
  namespace fs = std::filesystem;
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(MPEG4_BENCH_STREAM_DIR, error)) {
    if (entry.path().extension() == ".m4v") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::vector<BenchStream> streams;
  for (const fs::path& file : files) {
    BenchStream stream;
    stream.name = file.stem().string();
    if (stream.name.find(filter) == std::string::npos) continue;
    if (std::sscanf(stream.name.c_str(), "%*[a-z0-9]_%dx%d", &stream.width, &stream.height) != 2) continue;
    std::ifstream in(file, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<size_t> starts = PictureStarts(bytes);
    if (starts.empty()) continue;
    starts[0] = 0;
    starts.push_back(bytes.size());
    for (size_t i = 0; i + 1 < starts.size(); ++i) {
      std::vector<uint8_t> picture(bytes.begin() + long(starts[i]), bytes.begin() + long(starts[i + 1]));
      stream.sizes.push_back(picture.size());
      picture.resize(picture.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
      stream.pictures.push_back(std::move(picture));
    }
    streams.push_back(std::move(stream));
  }
  return streams;
}

}  // namespace tlx::mpeg4::bench

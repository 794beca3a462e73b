// Every fixture stream decoded under four processor masks (unset, the probe
// word without SSE2, without SSE2 and integer SSE, and 0), each in its own
// process since the mask is read once per process: the decoded planes,
// quantiser maps and vectors are identical, and every converted output equals
// the plain reference pipeline for that mask.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "filters/mpeg4/core/yuv_rgb/cpu_probe.h"
#include "filters/mpeg4/support/core_harness.h"

namespace tlx::mpeg4 {
namespace {

std::string Report(const std::string& environment, const std::vector<std::string>& files) {
  std::string command = environment + " " + MPEG4_OUTPUT_REPORTER;
  for (const std::string& file : files) command += " " + file;
  FILE* pipe = popen(command.c_str(), "r");
  std::string output;
  char buffer[512];
  while (pipe != nullptr && fgets(buffer, sizeof(buffer), pipe) != nullptr) output += buffer;
  if (pipe != nullptr) EXPECT_EQ(pclose(pipe), 0) << environment;
  return output;
}

TEST(FixtureMasks, SameDecodeAndPlainEqualOutputUnderEveryMask) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(test::FixturePath(""))) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".m4v" || extension == ".h263") files.push_back(entry.path().string());
  }
  std::sort(files.begin(), files.end());
  ASSERT_FALSE(files.empty());
  const uint32_t native = ProbeCpuFeatures();
  char withoutSse2[32], withoutBoth[32];
  std::snprintf(withoutSse2, sizeof(withoutSse2), "0x%x", native & ~kFeatureSse2);
  std::snprintf(withoutBoth, sizeof(withoutBoth), "0x%x", native & ~(kFeatureSse2 | kFeatureIntegerSse));
  const std::string reference = Report("env -u TLX_CPU_FEATURES", files);
  std::istringstream lines(reference);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_NE(line.find(" 0 mismatches"), std::string::npos) << "unset: " << line;
  }
  for (const std::string mask : {std::string(withoutSse2), std::string(withoutBoth), std::string("0")}) {
    EXPECT_EQ(Report("TLX_CPU_FEATURES=" + mask, files), reference) << "mask " << mask;
  }
}

}  // namespace
}  // namespace tlx::mpeg4

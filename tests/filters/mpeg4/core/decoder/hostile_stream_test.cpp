// Damaged and hostile input: the seeded corrupter's mutants of the first
// pictures of intra, predicted and short-header streams, fed call after call
// with the feeder's checks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "filters/mpeg4/support/core_harness.h"
#include "filters/mpeg4/support/mutant_feeder.h"
#include "filters/mpeg4/support/stream_corrupter.h"

namespace tlx::mpeg4 {
namespace {

// Mutates the first `pictures` pictures of each source `cases` times in all
// (case n from seed n) and feeds each mutant to a fresh instance.
void FeedMutants(const std::vector<std::string>& sources, int pictures, int cases) {
  std::vector<std::vector<uint8_t>> heads;
  std::vector<std::vector<uint8_t>> headers;
  for (const std::string& name : sources) {
    const std::vector<uint8_t> stream = test::ReadFixture(name);
    ASSERT_FALSE(stream.empty()) << name;
    heads.push_back(test::Head(stream, pictures));
    headers.push_back(test::Head(stream, 0));
  }
  for (int n = 0; n < cases; ++n) {
    std::vector<uint8_t> bytes = heads[size_t(n) % heads.size()];
    const std::string what = test::Corrupt(bytes, headers, uint32_t(n));
    test::FeedFresh(bytes, what);
    if (testing::Test::HasFatalFailure()) return;
  }
}

TEST(HostileStreams, MutatedIntraStreamsDecodeSafely) {
  FeedMutants({"i_q2_176x144.m4v", "i_q31_176x144.m4v", "i_aic_176x144.m4v", "i_dquant_176x144.m4v",
               "i_ilace_tff1_176x144.m4v", "i_packets_176x144.m4v", "i_odd_184x136.m4v", "i_neutral_q4_176x144.m4v"},
              2, 3000);
}

// Predicted pictures of every kind the core decodes: P with one and four
// vectors, B with every mode, quarter-sample vectors, packets with B
// markers, odd sizes.
TEST(HostileStreams, MutatedPredictedStreamsDecodeSafely) {
  FeedMutants({"sp_ip_176x144.m4v", "mv4_176x144.m4v", "b2_176x144.m4v", "qpel_b2_176x144.m4v",
               "packets_176x144.m4v", "dquant_176x144.m4v", "odd_184x136.m4v"},
              5, 1500);
}

// Short-header pictures with and without group headers (each mutant is a
// whole stream: they carry no start codes to cut at).
TEST(HostileStreams, MutatedShortHeaderStreamsDecodeSafely) {
  FeedMutants({"h263_128x96.h263", "h263_ps_128x96.h263"}, 5, 300);
}

}  // namespace
}  // namespace tlx::mpeg4

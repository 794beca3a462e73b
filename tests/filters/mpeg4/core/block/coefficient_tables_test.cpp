// Integrity of the transcribed code lists: every list (with its escape) must
// be a prefix code, intra and inter lists must use the same code words, and
// the escape limits derived from the lists must equal the published limits.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "filters/mpeg4/core/block/block_decoder_state.h"
#include "filters/mpeg4/core/block/coefficient_tables.h"

namespace tlx::mpeg4 {
namespace {

std::string Bits(uint32_t code, uint32_t length) {
  std::string s;
  for (uint32_t i = length; i-- > 0;) s += ((code >> i) & 1) ? '1' : '0';
  return s;
}

template <typename List>
std::vector<std::string> Words(const List& list) {
  std::vector<std::string> words;
  for (const auto& c : list) words.push_back(Bits(c.code, c.length));
  return words;
}

void ExpectPrefixFree(const std::vector<std::string>& words, const char* name) {
  for (size_t i = 0; i < words.size(); ++i)
    for (size_t j = 0; j < words.size(); ++j) {
      if (i == j || words[j].size() < words[i].size()) continue;
      EXPECT_NE(words[j].compare(0, words[i].size(), words[i]), 0)
          << name << ": " << words[i] << " is a prefix of " << words[j];
    }
}

template <typename List>
void ExpectUniqueEvents(const List& list, const char* name) {
  std::set<std::tuple<int, int, int>> events;
  for (const CoefficientCode& c : list)
    EXPECT_TRUE(events.insert({c.last, c.run, c.level}).second)
        << name << ": event " << int(c.last) << "/" << int(c.run) << "/" << int(c.level) << " twice";
}

TEST(CodeTables, AreConsistentPrefixCodes) {
  std::vector<std::string> inter = Words(kInterTcoef), intra = Words(kIntraTcoef);
  std::vector<std::string> interR = Words(kInterRvlc), intraR = Words(kIntraRvlc);
  EXPECT_EQ(std::set<std::string>(inter.begin(), inter.end()), std::set<std::string>(intra.begin(), intra.end()));
  EXPECT_EQ(std::set<std::string>(interR.begin(), interR.end()),
            std::set<std::string>(intraR.begin(), intraR.end()));
  // Reversible codes decode backwards too: reversed, they are a prefix code.
  std::vector<std::string> backwards = interR;
  for (std::string& w : backwards) std::reverse(w.begin(), w.end());
  ExpectPrefixFree(backwards, "reversible read backwards");
  inter.push_back(Bits(kTcoefEscape.code, kTcoefEscape.length));
  interR.push_back("00001");
  ExpectPrefixFree(inter, "TCOEF");
  ExpectPrefixFree(interR, "reversible");
  ExpectPrefixFree(Words(kDcSizeLuma), "DC size luma");
  ExpectPrefixFree(Words(kDcSizeChroma), "DC size chroma");
  std::vector<std::string> mcbpc = Words(kIntraMcbpc);
  mcbpc.push_back(Bits(kMcbpcStuffing.code, kMcbpcStuffing.length));
  ExpectPrefixFree(mcbpc, "intra MCBPC");
  ExpectPrefixFree(Words(kCbpy), "CBPY");
  ExpectUniqueEvents(kInterTcoef, "inter");
  ExpectUniqueEvents(kIntraTcoef, "intra");
  ExpectUniqueEvents(kInterRvlc, "inter reversible");
  ExpectUniqueEvents(kIntraRvlc, "intra reversible");

  // The longest DC size codes.
  EXPECT_EQ(Bits(kDcSizeChroma[12].code, kDcSizeChroma[12].length), "000000000001");
  EXPECT_EQ(Bits(kDcSizeLuma[12].code, kDcSizeLuma[12].length), "00000000001");

  BlockDecoderState state;
  BlockDecoderReset(state);
  for (int s = 0; s < 3; ++s) {
    std::set<int> positions(state.scan[s], state.scan[s] + 64);
    EXPECT_EQ(positions.size(), 64u) << "scan " << s << " is not a permutation";
  }
}

TEST(CodeTables, EscapeLimitsMatchThePublishedValues) {
  struct Limit {
    const char* table;
    const EscapeLimits* limits;
    bool level;  // maxLevel by run, else maxRun by level
    int last, index, value;
  };
  const Limit cases[] = {
      {"intra", &kIntraLimits, true, 0, 0, 27},  {"intra", &kIntraLimits, true, 0, 1, 10},
      {"intra", &kIntraLimits, true, 0, 7, 3},   {"intra", &kIntraLimits, true, 0, 8, 2},
      {"intra", &kIntraLimits, true, 0, 14, 1},  {"intra", &kIntraLimits, true, 0, 15, 0},
      {"intra", &kIntraLimits, true, 1, 0, 8},   {"intra", &kIntraLimits, true, 1, 1, 3},
      {"intra", &kIntraLimits, true, 1, 6, 2},   {"intra", &kIntraLimits, true, 1, 20, 1},
      {"intra", &kIntraLimits, false, 0, 1, 14}, {"intra", &kIntraLimits, false, 0, 2, 9},
      {"intra", &kIntraLimits, false, 0, 3, 7},  {"intra", &kIntraLimits, false, 0, 4, 3},
      {"intra", &kIntraLimits, false, 0, 5, 2},  {"intra", &kIntraLimits, false, 0, 10, 1},
      {"intra", &kIntraLimits, false, 0, 27, 0}, {"intra", &kIntraLimits, false, 1, 1, 20},
      {"intra", &kIntraLimits, false, 1, 2, 6},  {"intra", &kIntraLimits, false, 1, 3, 1},
      {"inter", &kInterLimits, true, 0, 0, 12},  {"inter", &kInterLimits, true, 0, 1, 6},
      {"inter", &kInterLimits, true, 0, 2, 4},   {"inter", &kInterLimits, true, 0, 6, 3},
      {"inter", &kInterLimits, true, 0, 10, 2},  {"inter", &kInterLimits, true, 0, 26, 1},
      {"inter", &kInterLimits, true, 1, 0, 3},   {"inter", &kInterLimits, true, 1, 1, 2},
      {"inter", &kInterLimits, true, 1, 40, 1},  {"inter", &kInterLimits, false, 0, 1, 26},
      {"inter", &kInterLimits, false, 0, 2, 10}, {"inter", &kInterLimits, false, 0, 3, 6},
      {"inter", &kInterLimits, false, 0, 4, 2},  {"inter", &kInterLimits, false, 0, 6, 1},
      {"inter", &kInterLimits, false, 0, 12, 0}, {"inter", &kInterLimits, false, 1, 1, 40},
      {"inter", &kInterLimits, false, 1, 2, 1},  {"inter", &kInterLimits, false, 1, 3, 0},
  };
  for (const Limit& c : cases) {
    const int got = c.level ? c.limits->maxLevel[c.last][c.index] : c.limits->maxRun[c.last][c.index];
    EXPECT_EQ(got, c.value) << c.table << (c.level ? " LMAX" : " RMAX") << " last " << c.last << " at "
                            << c.index;
  }
}

}  // namespace
}  // namespace tlx::mpeg4

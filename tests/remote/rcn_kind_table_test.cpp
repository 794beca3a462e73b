// The kind table against a transcription of its own, its name lookup through
// the resource chain and the queries' answers for absent kinds.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "remote/data/rcn_kind_table.h"
#include "support/fixture_module.h"

namespace {

// kind | name | title | device | TV | tabs | footer y | power
constexpr const char kKinds[] = R"(
0 | 21119 | -1 | -1 | 0 | 0 | -1 | 1
1 | 21129 | 21108 | 21111 | 0 | 0 | 297 | 1
2 | 21116 | 21093 | 21112 | 0 | 2 | 293 | 1
3 | 21121 | 21099 | 21315 | 0 | 2 | 363 | 1
4 | 21117 | 21095 | 21316 | 0 | 2 | 307 | 1
5 | 21122 | 21100 | 21317 | 0 | 2 | 297 | 1
6 | 21123 | 21101 | 21318 | 0 | 2 | 345 | 1
7 | 21118 | 21096 | 21319 | 0 | 2 | 315 | 1
8 | 21128 | 21107 | 21320 | 0 | 2 | -1 | 1
9 | 21113 | 21092 | 21321 | 0 | 0 | 323 | 1
10 | 21125 | 21103 | 21322 | 0 | 2 | 312 | 1
11 | 21127 | 21105 | 21323 | 0 | 2 | 277 | 1
12 | 21126 | 21096 | 21319 | 0 | 2 | 355 | 1
13 | 21115 | 21096 | 21319 | 0 | 2 | 345 | 1
14 | 21114 | 21100 | 21317 | 0 | 2 | 345 | 1
15 | 21124 | 21102 | 21324 | 0 | 2 | 297 | 1
16 | 21120 | 21098 | 21325 | 0 | 2 | 312 | 1
17 | 20877 | 20896 | 21326 | 0 | 2 | -1 | 1
18 | 20881 | 20917 | 21327 | 0 | 3 | 345 | 1
19 | 20891 | 20931 | 21328 | 0 | 3 | 345 | 1
20 | 21094 | 21329 | 21097 | 0 | 2 | 329 | 1
21 | 22179 | 22180 | 22181 | 1 | 3 | 345 | 1
22 | 22182 | 22183 | 22184 | 1 | 2 | 329 | 1
23 | 22185 | 22187 | 22189 | 1 | 2 | 329 | 1
24 | 22186 | 22188 | 22190 | 1 | 2 | 353 | 1
25 | 22191 | 22192 | 22193 | 1 | 2 | 329 | 1
26 | 22382 | 22388 | 22394 | 1 | 2 | 345 | 1
27 | 22384 | 22390 | 22396 | 1 | 3 | 345 | 1
28 | 22385 | 22391 | 22397 | 1 | 3 | 345 | 1
29 | 22386 | 22392 | 22398 | 1 | 3 | 345 | 1
30 | 22387 | 22393 | 22399 | 1 | 0 | 345 | 0
31 | 22000 | 22003 | 22006 | 1 | 0 | 345 | 1
32 | 22001 | 22004 | 22007 | 1 | 2 | 345 | 1
33 | 22002 | 22005 | 22008 | 1 | 3 | 345 | 1
34 | 22310 | 0 | 0 | 1 | 0 | 345 | 1
)";

std::vector<std::vector<int>> Transcription() {
  std::vector<std::vector<int>> rows;
  std::istringstream lines(kKinds);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    std::istringstream fields(line);
    std::vector<int> row;
    std::string field;
    while (std::getline(fields, field, '|')) row.push_back(std::stoi(field));
    rows.push_back(row);
  }
  return rows;
}

TEST(RcnKindTable, EveryRowIsTheTranscribedOneAndTheEndRowFollows) {
  std::vector<std::vector<int>> rows = Transcription();
  ASSERT_EQ(rows.size(), 35u);
  for (size_t i = 0; i < rows.size(); ++i) {
    const RcnKindRow& row = kRcnKindTable[i];
    EXPECT_EQ((std::vector<int>{row.kind, row.nameId, row.titleId, row.deviceId, row.tv, row.tabs, row.footerY,
                                row.power}),
              rows[i])
        << "row " << i;
  }
  EXPECT_EQ(kRcnKindTable[35].kind, -1);
}

TEST(RcnKindTable, QueriesAnswerTheRowOrTheDefaultsOfAnAbsentKind) {
  tlx::resources::ModuleBuilder builder;
  builder.String(21108, "One-page remote");
  mfc_test::FixtureModule module(builder);

  EXPECT_EQ(tlxRcnKindTitle(1), u"One-page remote");
  EXPECT_EQ(tlxRcnKindTitle(0), u"");  // title -1
  EXPECT_EQ(tlxRcnKindFooterY(1), 297);
  EXPECT_EQ(tlxRcnKindFooterY(8), -1);
  EXPECT_EQ(tlxRcnKindFooterY(17), -1);
  int tabs = 7;
  tlxRcnKindTabCount(18, &tabs);
  EXPECT_EQ(tabs, 3);
  tlxRcnKindTabCount(9, &tabs);
  EXPECT_EQ(tabs, 0);

  for (int kind : {35, -1, 100}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(tlxRcnFindKindRow(kind), nullptr);
    EXPECT_EQ(tlxRcnKindTitle(kind), u"");
    int unchanged = 7;
    tlxRcnKindTabCount(kind, &unchanged);
    EXPECT_EQ(unchanged, 7);
    EXPECT_EQ(tlxRcnKindFooterY(kind), -1);
    EXPECT_EQ(tlxRcnKindPowerFlag(kind), 1);
  }
}

TEST(RcnKindTable, OnlyKind30HasNoPowerButton) {
  for (const RcnKindRow* row = kRcnKindTable; row->kind != -1; ++row) {
    EXPECT_EQ(tlxRcnKindPowerFlag(row->kind), row->kind == 30 ? 0 : 1) << "kind " << row->kind;
  }
}

TEST(RcnKindTable, NamesMapBackToTheFirstKindWithThatLoadedText) {
  tlx::resources::ModuleBuilder builder;
  builder.String(21129, "VCR").String(21116, "DVD").String(22310, "USER");
  // Two kinds whose texts load the same: the upper row wins.
  builder.String(21121, "TUNER").String(21117, "TUNER");
  mfc_test::FixtureModule module(builder);

  EXPECT_EQ(tlxRcnFindKindByName(u"VCR"), 1);
  EXPECT_EQ(tlxRcnFindKindByName(u"DVD"), 2);
  EXPECT_EQ(tlxRcnFindKindByName(u"USER"), 34);
  EXPECT_EQ(tlxRcnFindKindByName(u"TUNER"), 3);
  EXPECT_EQ(tlxRcnFindKindByName(u"vcr"), -1);
  EXPECT_EQ(tlxRcnFindKindByName(u"VCR "), -1);
  // Kinds whose texts the resources lack load as empty: an empty name is
  // none of them.
  EXPECT_EQ(tlxRcnFindKindByName(u""), -1);
}

}  // namespace

// The layout tables against transcriptions of their own, and the lookups the
// remote windows lay out with.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "remote/data/rcn_kind_table.h"
#include "remote/data/rcn_layout_tables.h"

namespace {

using Row = std::vector<int>;

Row Of(const RcnTabRow& r) { return {r.kind, r.tab, r.captionId, r.selectedImage, r.normalImage, r.pressedImage}; }
Row Of(const RcnTopButtonRow& r) {
  return {r.kind, r.control, r.commandId, r.x, r.y, r.normalImage, r.pressedImage, r.captionId};
}
Row Of(const RcnButtonRow& r) {
  return {r.kind, r.page, r.control, r.commandId, r.x, r.y, r.normalImage, r.pressedImage, r.captionId};
}
Row Of(const RcnLabelRow& r) { return {r.kind, r.page, r.captionId, r.fontHeight, r.bitmapId, r.x, r.y}; }

template <typename T>
std::vector<Row> Rows(const T* table) {
  std::vector<Row> rows;
  for (; table->kind != -1; ++table) rows.push_back(Of(*table));
  return rows;
}

template <typename T, size_t N>
bool AllNone(const T (&buffer)[N], size_t from) {
  for (size_t i = from; i < N; ++i) {
    for (int value : Of(buffer[i])) {
      if (value != -1) return false;
    }
  }
  return true;
}

TEST(RcnLayoutTables, TabRowsAreTheKindsCaptionsAndImageSets) {
  struct Group {
    std::vector<int> kinds;
    std::vector<int> captions;
    char set;
  };
  const std::vector<Group> groups = {
      {{2, 4, 10, 16}, {21131, 21133}, 'A'},       {{3}, {21138, 21131}, 'A'},
      {{5, 15}, {21133, 21131}, 'A'},              {{6, 13, 14}, {21138, 21140}, 'A'},
      {{7, 12}, {21136, 21137}, 'A'},              {{8}, {21132, 21135}, 'A'},
      {{11}, {21131, 21134}, 'A'},                 {{17}, {21139, 21138}, 'A'},
      {{20}, {21330, 21139}, 'A'},                 {{22, 24, 26}, {21139, 21131}, 'A'},
      {{23, 25, 32}, {21138, 21131}, 'A'},         {{18, 19, 27}, {21139, 21138, 21141}, 'B'},
      {{21, 28, 29, 33}, {21139, 21138, 21131}, 'C'},
  };
  auto images = [](char set, int tab) -> Row {
    switch (set) {
      case 'A': return tab == 1 ? Row{20501, 20502, 20503} : Row{20509, 20510, 20511};
      case 'B': return tab == 1 ? Row{21283, 21284, 21285} : tab == 2 ? Row{21286, 21287, 21288} : Row{21289, 21281, 21282};
      default: return tab == 1 ? Row{21283, 21284, 20503} : tab == 2 ? Row{21286, 21287, 20511} : Row{21289, 21281, 20511};
    }
  };
  std::multiset<Row> expected;
  for (const Group& group : groups) {
    for (int kind : group.kinds) {
      for (int tab = 1; tab <= static_cast<int>(group.captions.size()); ++tab) {
        Row row = {kind, tab, group.captions[tab - 1]};
        for (int image : images(group.set, tab)) row.push_back(image);
        expected.insert(row);
      }
    }
  }
  std::vector<Row> rows = Rows(kRcnTabTable);
  EXPECT_EQ(rows.size(), 65u);
  EXPECT_EQ(std::multiset<Row>(rows.begin(), rows.end()), expected);

  // Each kind has a tab row for every tab its kind row counts, and no more.
  for (const RcnKindRow* kind = kRcnKindTable; kind->kind != -1; ++kind) {
    SCOPED_TRACE(kind->kind);
    for (int tab = 1; tab <= 3; ++tab) {
      const RcnTabRow* row = tlxRcnFindTab(kind->kind, tab);
      ASSERT_EQ(row != nullptr, tab <= kind->tabs) << "tab " << tab;
      if (row != nullptr) {
        EXPECT_TRUE(row->kind == kind->kind && row->tab == tab) << "tab " << tab;
      }
    }
  }
  EXPECT_EQ(Of(*tlxRcnFindTab(19, 3)), (Row{19, 3, 21141, 21289, 21281, 21282}));
  EXPECT_EQ(Of(*tlxRcnFindTab(33, 3)), (Row{33, 3, 21131, 21289, 21281, 20511}));
  EXPECT_EQ(tlxRcnFindTab(35, 1), nullptr);
}

TEST(RcnLayoutTables, FunctionRowsAndTheirCommands) {
  const std::vector<Row> expected = {
      {18, 21485, 21281, 8, 43, 21301, 21302, 21291},  {18, 21486, 20985, 53, 43, 21301, 21302, 21155},
      {19, 21485, 21281, 8, 43, 21301, 21302, 21291},  {19, 21486, 20985, 53, 43, 21301, 21302, 21155},
      {19, 21487, 20481, 98, 43, 21301, 21302, 21292}, {33, 21485, 21358, 8, 43, 21301, 21302, 21361},
      {33, 21486, 21359, 53, 43, 21301, 21302, 21362}, {33, 21487, 21360, 98, 43, 21301, 21302, 21363},
  };
  EXPECT_EQ(Rows(kRcnTopButtonTable), expected);
  for (const Row& row : expected) EXPECT_EQ(tlxRcnTopButtonCommand(row[0], row[1]), row[2]);
  EXPECT_EQ(tlxRcnTopButtonCommand(18, 21487), -1);
  EXPECT_EQ(tlxRcnTopButtonCommand(33, 21488), -1);
  EXPECT_EQ(tlxRcnTopButtonCommand(1, 21485), -1);
}

TEST(RcnLayoutTables, KindOneLooksUpItsRowsExactlyAndTheRestOfTheBuffersStaysNone) {
  RcnButtonRow buttons[kRcnButtonBufferRows];
  RcnLabelRow labels[kRcnLabelBufferRows];
  ASSERT_TRUE(tlxRcnLayoutLookup(1, buttons, labels));

  const std::vector<Row> expectedButtons = {
      {1, 0, 21529, 21066, 26, 135, 20619, 20620, -1},    {1, 0, 21530, 20969, 113, 135, 20516, 20517, 21143},
      {1, 0, 21531, 20975, 26, 177, 20516, 20517, 21148}, {1, 0, 21532, 20971, 113, 177, 20516, 20517, 21144},
      {1, 0, 21533, 20976, 58, 241, 20649, 20650, -1},    {1, 0, 21534, 20977, 118, 241, 20651, 20652, -1},
      {1, 5, 21494, 21038, 26, 353, 20647, 20648, -1},    {1, 5, 21495, 21013, 88, 349, 20645, 20646, -1},
      {1, 5, 21496, 20989, 135, 353, 20643, 20644, -1},   {1, 5, 21497, 21031, 32, 432, 20639, 20640, -1},
      {1, 5, 21498, 21011, 88, 432, 20631, 20632, -1},    {1, 5, 21499, 21043, 144, 432, 20635, 20636, -1},
  };
  const std::vector<Row> expectedLabels = {
      {1, 0, 21147, 12, -1, 74, 224},  {1, 5, 21195, 12, -1, 32, 333},  {1, 5, 21174, 12, -1, 92, 333},
      {1, 5, 21158, 12, -1, 141, 333}, {1, 5, 21189, 12, -1, 37, 415},  {1, 5, 21175, 12, -1, 81, 415},
      {1, 5, 21198, 12, -1, 149, 415},
  };
  for (size_t i = 0; i < expectedButtons.size(); ++i) EXPECT_EQ(Of(buttons[i]), expectedButtons[i]) << i;
  for (size_t i = 0; i < expectedLabels.size(); ++i) EXPECT_EQ(Of(labels[i]), expectedLabels[i]) << i;
  EXPECT_TRUE(AllNone(buttons, expectedButtons.size()));
  EXPECT_TRUE(AllNone(labels, expectedLabels.size()));

  EXPECT_EQ(tlxRcnPageButtonCommand(buttons, 0, 21529), 21066);
  EXPECT_EQ(tlxRcnPageButtonCommand(buttons, 0, 21534), 20977);
  EXPECT_EQ(tlxRcnPageButtonCommand(buttons, 5, 21497), 21031);
  EXPECT_EQ(tlxRcnPageButtonCommand(buttons, 0, 21497), -1);
  EXPECT_EQ(tlxRcnPageButtonCommand(buttons, 5, 21529), -1);
  EXPECT_EQ(tlxRcnPageButtonCommand(buttons, 1, 21529), -1);
}

TEST(RcnLayoutTables, KindElevenPaintsItsFourBitmapsOnEveryPage) {
  RcnButtonRow buttons[kRcnButtonBufferRows];
  RcnLabelRow labels[kRcnLabelBufferRows];
  tlxRcnLayoutLookup(11, buttons, labels);
  std::vector<Row> bitmaps;
  for (const RcnLabelRow& label : labels) {
    if (label.kind == -1) break;
    if (label.captionId == -1) bitmaps.push_back(Of(label));
  }
  EXPECT_EQ(bitmaps, (std::vector<Row>{{11, 5, -1, -1, 20575, 26, 286},
                                        {11, 5, -1, -1, 20597, 167, 286},
                                        {11, 5, -1, -1, 20604, 26, 325},
                                        {11, 5, -1, -1, 20590, 167, 325}}));
}

TEST(RcnLayoutTables, KindsWithoutRowsLeaveBothBuffersNone) {
  // Kinds 13 and 14 have tabs but no rows; kind 0 and the user-remote kind
  // have neither; 35 is no kind.
  for (int kind : {0, 13, 14, 34, 35, -1}) {
    SCOPED_TRACE(kind);
    RcnButtonRow buttons[kRcnButtonBufferRows];
    RcnLabelRow labels[kRcnLabelBufferRows];
    buttons[0].kind = kind;
    labels[0].kind = kind;
    EXPECT_FALSE(tlxRcnLayoutLookup(kind, buttons, labels));
    EXPECT_TRUE(AllNone(buttons, 0));
    EXPECT_TRUE(AllNone(labels, 0));
  }
  EXPECT_NE(tlxRcnFindTab(13, 2), nullptr);
  EXPECT_NE(tlxRcnFindTab(14, 2), nullptr);
  EXPECT_EQ(tlxRcnFindTab(0, 1), nullptr);
}

TEST(RcnLayoutTables, PageButtonQueryTakesTheFirstMatchAndStopsAtTheEndRow) {
  RcnButtonRow buttons[kRcnButtonBufferRows];
  RcnLabelRow labels[kRcnLabelBufferRows];
  tlxRcnLayoutLookup(35, buttons, labels);
  buttons[0] = {2, 1, 21529, 100, 0, 0, 0, 0, -1};
  buttons[1] = {2, 1, 21529, 200, 0, 0, 0, 0, -1};
  buttons[3] = {2, 2, 21530, 300, 0, 0, 0, 0, -1};  // after the end row
  EXPECT_EQ(tlxRcnPageButtonCommand(buttons, 1, 21529), 100);
  EXPECT_EQ(tlxRcnPageButtonCommand(buttons, 2, 21530), -1);
}

}  // namespace

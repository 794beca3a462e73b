// What the limit edit keeps and how text is laid out, without a window.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/draw_text_layout.h"
#include "common/limit_edit_filter.h"
#include "common/tlx_pc_cmn_draw_text.h"
#include "common/tlx_pc_cmn_limit_edit.h"

namespace {

using namespace tlx::common;

TEST(GetSjisByte, CountsOneForAsciiAndHalfWidthKanaAndTwoForTheRest) {
  struct Case {
    std::u16string text;
    int bytes;
  } cases[] = {
      {u"ab", 2},     {u"\u6f22", 2},         {u"\uff61", 1}, {u"\uff9f", 1},      {u"\uffa0", 2},
      {u"\u007f", 1}, {u"\u0080", 2},         {u"", 0},       {u"\U00020BB7", 2},  // a pair is one character
      {u"a\u3042\uff71", 4},
  };
  for (const Case& c : cases) EXPECT_EQ(GetSjisByte(c.text.c_str()), c.bytes) << c.text.size();
  EXPECT_EQ(GetSjisByte(nullptr), 0);
}

TEST(LimitEditFilter, KeepsTheTextWithinTheLimitAndTheRange) {
  const LimitEditRules limit4{4, 0, 0};
  const LimitEditRules digits{-1, u'0', u':'};
  struct Case {
    const char* what;
    std::u16string text;
    int selStart, selEnd;
    LimitEditRules rules;
    bool changed;
    std::u16string kept;
    int first, second;
  } cases[] = {
      {"a fifth character is dropped, the caret kept", u"abcde", 5, 5, limit4, true, u"abcd", 4, 4},
      {"the typed character in the middle goes with what follows", u"abXcd", 3, 3, limit4, true, u"abXc", 3, 3},
      {"within the limit nothing changes", u"abcd", 4, 4, limit4, false, u"abcd", 4, 4},
      {"a kanji counts two", u"ab\u6f22c", 4, 4, limit4, true, u"ab\u6f22", 3, 3},
      {"half-width kana count one", u"\uff71\uff72\uff73\uff74", 4, 4, limit4, false, u"\uff71\uff72\uff73\uff74", 4, 4},
      {"a pasted text keeps only the digits", u"12a3", 4, 4, digits, true, u"123", 3, 3},
      {"the selection is given end first and clamped", u"12ab", 1, 4, digits, true, u"12", 2, 1},
      {"no rules keep everything", u"a\u6f22\U00020BB7", 0, 4, LimitEditRules{}, false, u"a\u6f22\U00020BB7", 4, 0},
      {"a dropped character does not count", u"ab-cd", 5, 5, LimitEditRules{4, u'a', u'z' + 1}, true, u"abcd", 4, 4},
      {"a limit of zero keeps nothing", u"x", 1, 1, LimitEditRules{0, 0, 0}, true, u"", 0, 0},
  };
  for (const Case& c : cases) {
    const LimitEditResult r = FilterLimitEditText(c.text, c.selStart, c.selEnd, c.rules);
    EXPECT_EQ(r.changed, c.changed) << c.what;
    EXPECT_TRUE(r.text == c.kept) << c.what;
    EXPECT_EQ(r.selFirst, c.first) << c.what;
    EXPECT_EQ(r.selSecond, c.second) << c.what;
  }
}

std::vector<std::u16string> Split(const std::u16string& text) {
  std::vector<CString> words;
  EXPECT_TRUE(SplitStringIntoWords(text.c_str(), words));
  std::vector<std::u16string> out;
  for (const CString& w : words) out.emplace_back(w.GetString());
  return out;
}

TEST(DrawTextWords, SplitAtSpacesLineFeedsAndWidthClassChanges) {
  using W = std::vector<std::u16string>;
  EXPECT_EQ(Split(u"ab\tcd"), (W{u"ab ", u"cd"}));                    // TAB becomes a space, which the word keeps
  EXPECT_EQ(Split(u"a\u0001b\rc\u007f"), (W{u"abc"}));                 // control characters dropped
  EXPECT_EQ(Split(u"ab\ncd\n\n"), (W{u"ab", u"\n", u"cd", u"\n", u"\n"}));
  EXPECT_EQ(Split(u"two  spaces"), (W{u"two ", u" ", u"spaces"}));
  // ASCII, full-width kana, kanji, half-width kana: four runs.
  EXPECT_EQ(Split(u"ab\u3042\u3044\u6f22\u5b57\uff71cd"),
            (W{u"ab", u"\u3042\u3044", u"\u6f22\u5b57", u"\uff71cd"}));
  EXPECT_EQ(Split(u"\u3042\u3000\u3044"), (W{u"\u3042\u3000", u"\u3044"}));  // the ideographic space ends a word
  EXPECT_EQ(Split(u"\U00020BB7\U00020BB7"), (W{u"\U00020BB7\U00020BB7"}));    // a pair is never cut
  EXPECT_TRUE(Split(u"").empty());
  std::vector<CString> words;
  EXPECT_FALSE(SplitStringIntoWords(nullptr, words));
}

// One pixel per character.
const TextWidth kWidth = [](const CString& s) { return s.GetLength(); };

std::vector<CString> Words(std::initializer_list<const char16_t*> list) {
  std::vector<CString> out;
  for (const char16_t* w : list) out.emplace_back(w);
  return out;
}

TEST(DrawTextLines, OneLineTakesTheWordsThatFitAndCarriesTheRest) {
  struct Case {
    const char* what;
    std::vector<CString> words;
    int width;
    UINT index;
    CString carry;
    CString line;
    UINT nextIndex;
    CString nextCarry;
  } cases[] = {
      {"all words fit", Words({u"ab ", u"cd"}), 10, 0, CString(), CString(u"ab cd"), 2, CString()},
      {"the first word that does not fit is carried", Words({u"ab ", u"cd ", u"ef"}), 6, 0, CString(),
       CString(u"ab cd "), 3, CString(u"ef")},
      {"a line feed ends the line", Words({u"ab", u"\n", u"cd"}), 10, 0, CString(), CString(u"ab"), 2,
       CString(u"\n")},
      {"a line feed first gives an empty line", Words({u"\n", u"cd"}), 10, 0, CString(), CString(), 1,
       CString(u"\n")},
      {"a carried line feed starts an empty line", Words({u"\n", u"cd"}), 10, 1, CString(u"\n"), CString(u"cd"), 2,
       CString()},
      {"the carry starts the line", Words({u"ab ", u"cd"}), 10, 1, CString(u"xy "), CString(u"xy cd"), 2,
       CString()},
      {"a long word is cut where it fits", Words({u"abcdefg"}), 3, 0, CString(), CString(u"abc"), 1,
       CString(u"defg")},
      {"nothing fits: an empty line, the whole word carried", Words({u"abc"}), 0, 0, CString(), CString(), 1,
       CString(u"abc")},
  };
  for (const Case& c : cases) {
    UINT index = c.index;
    CString carry = c.carry;
    EXPECT_TRUE(BuildLineText(kWidth, c.width, c.words, index, carry) == c.line) << c.what;
    EXPECT_EQ(index, c.nextIndex) << c.what;
    EXPECT_TRUE(carry == c.nextCarry) << c.what;
  }
}

std::vector<std::u16string> Lines(const std::u16string& text, int width, int lines) {
  std::vector<CString> words;
  EXPECT_TRUE(SplitStringIntoWords(text.c_str(), words));
  std::vector<std::u16string> out;
  for (const CString& l : BuildLines(kWidth, width, words, lines)) out.emplace_back(l.GetString());
  return out;
}

TEST(DrawTextLines, TheLastLineEndsInAnEllipsisOnlyWhenTextRemains) {
  using L = std::vector<std::u16string>;
  EXPECT_EQ(Lines(u"one two three", 8, 3), (L{u"one two ", u"three"}));
  EXPECT_EQ(Lines(u"one\ntwo", 8, 2), (L{u"one", u"two"}));
  EXPECT_EQ(Lines(u"one two three four", 8, 1), (L{u"one t..."}));  // trimmed to fit with its ellipsis
  EXPECT_EQ(Lines(u"one two three four", 8, 2), (L{u"one two ", u"three..."}));
  EXPECT_EQ(Lines(u"one\ntwo", 8, 1), (L{u"one..."}));               // the line feed leaves text behind
  EXPECT_EQ(Lines(u"one\n", 8, 1), (L{u"one"}));                     // a final line feed leaves nothing
  EXPECT_EQ(Lines(u"abcdefghij", 4, 2), (L{u"abcd", u"e..."}));       // a long word cut, then ended
  EXPECT_EQ(Lines(u"one", 2, 1), (L{u""}));                          // not even "..." fits
  EXPECT_TRUE(Lines(u"one", 8, 0).empty());
  EXPECT_TRUE(Lines(u"", 8, 3).empty());
}

TEST(DrawTextLines, TheAlignmentBitsPlaceTheLines) {
  // A line 20 wide in [10, 110); two lines 12 high in [0, 100).
  EXPECT_EQ(XStartPos(10, 110, 20, CMNPOS_LEFT), 10);
  EXPECT_EQ(XStartPos(10, 110, 20, CMNPOS_RIGHT), 90);
  EXPECT_EQ(XStartPos(10, 110, 20, CMNPOS_HCENTER), 50);
  EXPECT_EQ(XStartPos(10, 110, 20, CMNPOS_LEFT | CMNPOS_RIGHT), 50);  // not exactly one side: centred
  EXPECT_EQ(XStartPos(10, 110, 20, 0), 50);
  EXPECT_EQ(YStartPos(0, 100, 12, 2, CMNPOS_TOP), 0);
  EXPECT_EQ(YStartPos(0, 100, 12, 2, CMNPOS_BOTTOM | CMNPOS_LEFT), 76);
  EXPECT_EQ(YStartPos(0, 100, 12, 2, CMNPOS_VCENTER), 38);
  EXPECT_EQ(YStartPos(0, 100, 12, 2, CMNPOS_TOP | CMNPOS_BOTTOM), 38);
}

}  // namespace

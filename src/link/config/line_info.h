// The base's line-information records: one per tuner or external input, as
// the "LINEINFO" registration value holds them (parts separated by 0x01), and
// the region's defaults for a base that gives none.
//
// A record is comma-separated items NAME=value; an item enclosed in double
// quotes keeps its commas. An item is found by its name followed directly by
// '=' at the start of the item ("AIR" does not match "AIRRNG"). Numbers: leading
// commas and blanks are skipped; "0x" or "0X" starts hexadecimal digits,
// otherwise an optional '-' and decimal digits; a number must have a digit and
// fit in int32. Names:
//   TYPE     0 tuner, 1 external input (required: -10)
//   LINE     the line number (required: -11)
//   RCOMID   the remote-commander identification of the line's equipment:
//              "RCOMID=<text>,<kind1>,<a1>,<b1>,<kind2>,<a2>,<b2>[:<maker>,<model>[,<maker>,<model>]]"
//            always inside double quotes, as it holds commas. <text> runs to
//            the first ',' and is compared with the player's remote-commander
//            model name. After ':' come one maker name and one model name per
//            device of kind 2, in device order; the names contain none of
//            '"' ',' ':' '='. <a> and <b> are the device's maker and model ids.
//            Anything missing or not parseable: -12
//   AIR      terrestrial band code (-13), requires AIRRNG (-14)
//   AIRRNG   one to three channel ranges a-b (the first required: -13)
//   CBL      cable band code, CBLRNG likewise
//   BLI      up to eight bilingual-audio mode numbers
//   EXT      external-input count or code (-15)
//   EXTRNG   a number and one range a-b (-15)
// A record whose quotes do not pair gives -10. Texts longer than their fields
// are cut to 63 characters.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tlx::link {

inline constexpr int kLineTextMax = 63;
inline constexpr int kLineRanges = 3;
inline constexpr int kLineBliMax = 8;

struct TlxLineRange {
  int32_t low;
  int32_t high;
};

struct TlxLineDevice {
  int32_t kind;
  int32_t first;                     // the maker id
  int32_t second;                    // the model id
  char makerName[kLineTextMax + 1];  // kind 2 only
  char modelName[kLineTextMax + 1];
};

// A parsed record; fields without a value are 0.
struct TlxLineRecord {
  int32_t type;
  int32_t line;
  char rcomText[kLineTextMax + 1];
  TlxLineDevice device[2];
  int32_t air;
  TlxLineRange airRange[kLineRanges];
  int32_t cbl;
  TlxLineRange cblRange[kLineRanges];
  int32_t bliCount;
  int32_t bli[kLineBliMax];
  int32_t ext;
  int32_t extRngValue;
  TlxLineRange extRange;
};

// Parses one record into `out` (zeroed first). 0, or -10 to -15 as above.
int tlxParseLineRecord(std::string_view text, TlxLineRecord* out);

// The parts of a multi-part value (separated by 0x01), each without its
// leading blanks.
std::vector<std::string> tlxSplitParts(std::string_view value);

// The region's default LINEINFO value (region code 0 US, 1 JP, 2 TW, 3 KR):
// its tuner record and two external inputs; empty for every other region.
std::string tlxLineInfoDefault(uint32_t regionCode);

// A number by the rule above, from `*text`, which moves past it. False when
// there is none or it does not fit in int32.
bool tlxLineNumber(const char** text, int32_t* out);

}  // namespace tlx::link

// Remote-code files against the Python twin of the format: the twin's golden
// files read as it expects, files written here read in the twin as written,
// and damaged golden files read without harm.
#include <random>
#include <sstream>
#include <vector>

#include "rcd_test_support.h"

namespace {

struct GoldenCase {
  std::string file;
  std::string key;
  std::string expected;
};

std::vector<GoldenCase> makeGolden(const ScratchFolder& folder) {
  PeerResult made = runTwin("rcd_twin.py", "golden " + folder.path().string());
  EXPECT_EQ(made.status, 0);
  std::vector<GoldenCase> cases;
  std::istringstream list(readWhole(folder.path() / "cases.txt"));
  std::string line;
  while (std::getline(list, line)) {
    size_t tab1 = line.find('\t');
    size_t tab2 = line.find('\t', tab1 + 1);
    cases.push_back({line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(tab2 + 1)});
  }
  return cases;
}

std::string withoutLastLineEnd(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// Writes one remote of the given codes under the current options.
void writeRemote(const std::u16string& path, const std::vector<RcdCodeRecord>& codes) {
  RcdHandle writer = tlxRcdOpenWrite(path.c_str());
  ASSERT_NE(writer, nullptr) << tlxRcdGetLastError();
  RcdHeaderInput header{};
  header.name = u"Written \u00e9";
  header.type = "TV";
  header.makeId = "121";
  ASSERT_TRUE(tlxRcdWriteHeader(writer, &header));
  for (const RcdCodeRecord& record : codes) ASSERT_TRUE(tlxRcdWriteCode(writer, &record)) << tlxRcdGetLastError();
  int flags = kRcdWriteChecksumLine;
  ASSERT_TRUE(tlxRcdWriteChecksum(writer, &flags));
  tlxRcdClose(writer);
}

}  // namespace

using RcdAgainstTwin = RcdStoreTest;

TEST_F(RcdAgainstTwin, GoldenFilesReadAsTheTwinExpects) {
  ScratchFolder folder;
  std::vector<GoldenCase> cases = makeGolden(folder);
  ASSERT_EQ(cases.size(), 5u);
  for (const GoldenCase& c : cases) {
    SCOPED_TRACE(c.file + " key '" + c.key + "'");
    EXPECT_EQ(transcript(folder.wide(c.file), c.key), withoutLastLineEnd(readWhole(folder.path() / c.expected)));
  }
}

TEST_F(RcdAgainstTwin, FilesWrittenHereReadInTheTwinAsWritten) {
  ScratchFolder folder;
  const std::vector<RcdCodeRecord> codes = {
      codeRecord("POWER", u"Power", {0x12, 0x34, 0xAB}),
      codeRecord("CH+", u"Channel \u2191", patternBytes(200, 3)),
      codeRecord("MAX", u"Longest", patternBytes(512, 4)),
      codeRecord("EMPTY", u"Not learned", {}),
  };
  struct Mode {
    const char* name;
    std::vector<std::string> options;
    const char* encoding;
  };
  const Mode modes[] = {
      {"hex", {"COM:pc-key"}, "hex"},
      {"base64", {"COM:pc-key", "eType:base64"}, "base64"},
      {"base64-without-decoding-key", {"eType:base64"}, "base64+c3"},
      {"default", {}, "base64+c3"},
      {"c2", {"eType:c2"}, "base64+c2"},
  };
  for (const Mode& mode : modes) {
    SCOPED_TRACE(mode.name);
    rcdStore() = RcdStore();
    int dummy = 0;
    for (const std::string& option : mode.options) tlxRcdSetOption(&dummy, option.c_str());
    const std::u16string path = folder.wide(std::string(mode.name) + ".rcd");
    writeRemote(path, codes);
    // The twin opens "c3" codes with the encoding key; this side reads them
    // with it as decoding key too, so both give the written bytes.
    const std::string key = rcdStore().codec.decodingKey.empty() ? kRcdRemoteCodeKey : rcdStore().codec.decodingKey;
    std::string ours = transcript(path, key);
    std::string expectedCodes;
    for (const RcdCodeRecord& record : codes) {
      expectedCodes += std::string("code ") + record.key + "|" + utf8(record.label) + "|" +
                       toHex(record.code, static_cast<size_t>(record.length)) + "\n";
    }
    EXPECT_NE(ours.find(std::string("|") + mode.encoding + "|\n" + expectedCodes + "end 18\nchecksum 3|"),
              std::string::npos) << ours;
    EXPECT_NE(ours.find("|0\nstop 19\nline-ends crlf"), std::string::npos) << ours;
    PeerResult twin = runTwin("rcd_twin.py", "transcript " + tlxUtf8Of(path) + " " + key);
    ASSERT_EQ(twin.status, 0);
    EXPECT_EQ(twin.out, ours);
  }
}

TEST_F(RcdAgainstTwin, DamagedFilesReadWithoutHarm) {
  ScratchFolder folder;
  std::vector<GoldenCase> cases = makeGolden(folder);
  std::vector<std::string> originals;
  for (const GoldenCase& c : cases) originals.push_back(readWhole(folder.path() / c.file));
  std::mt19937 random(1234);
  const std::string specials = "\r\n\t:;#= +\xEF\xBB\xBF\xFF\x00";
  const std::u16string damaged = folder.wide("damaged.rcd");
  for (int round = 0; round < 1500; ++round) {
    std::string bytes = originals[static_cast<size_t>(round) % originals.size()];
    int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
      size_t at = random() % bytes.size();
      switch (random() % 5) {
        case 0:
          bytes[at] = static_cast<char>(random());
          break;
        case 1:
          bytes[at] = specials[random() % specials.size()];
          break;
        case 2:
          bytes.erase(at, random() % 64);
          break;
        case 3:
          bytes.insert(at, std::string(random() % 5000, specials[random() % specials.size()]));
          break;
        default:
          bytes.resize(at);
          break;
      }
    }
    writeWhole(tlxUtf8Of(damaged), bytes);
    std::string result = transcript(damaged, round % 2 ? kRcdRemoteCodeKey : "");
    // Every error reported is one of the table's.
    std::istringstream lines(result);
    std::string line;
    while (std::getline(lines, line)) {
      if (line.rfind("stop ", 0) == 0 || line.rfind("end ", 0) == 0) {
        int error = std::stoi(line.substr(line.find(' ') + 1));
        EXPECT_TRUE(error == 11 || (error >= 16 && error <= 19)) << line;
      }
    }
  }
}

// The region data tables: the Base64 decoder, the line reader, the scramble
// against its Python twin, and the pack tool.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "remote/data/rcn_scramble.h"
#include "remote/data/rcn_set_text_reader.h"
#include "remote/data/utf_text.h"
#include "remote_data/base64_text.h"
#include "remote_data/rcn_text_reader.h"
#include "twin_runner.h"

using namespace std::string_literals;

namespace {

struct Decoded {
  BOOL ok;
  int size;
  std::string bytes;
};

Decoded decode(const std::string& text, int capacity) {
  std::string out(static_cast<size_t>(capacity) + 1, '#');
  int size = capacity;
  BOOL ok = tlxBase64DecodeText(text.data(), static_cast<unsigned>(text.size()),
                                reinterpret_cast<unsigned char*>(out.data()), &size);
  EXPECT_EQ(out[static_cast<size_t>(capacity)], '#') << "written past the capacity";
  out.resize(static_cast<size_t>(std::min(size, capacity)));
  return {ok, size, out};
}

std::string base64Of(const std::string& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  out.resize(static_cast<size_t>(EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                                 reinterpret_cast<const unsigned char*>(bytes.data()),
                                                 static_cast<int>(bytes.size()))));
  return out;
}

// The plain table of a UTF-16 text.
std::string plainTable(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return base64Of(bytes);
}

struct Line {
  int result;
  std::u16string text;
  bool operator==(const Line&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Line& line) {
  return os << line.result << " \"" << tlxUtf8Of(line.text) << "\"";
}

// Every line up to the first 0 with an empty line, and that one.
std::vector<Line> readAll(RcnTextReader& reader) {
  std::vector<Line> lines;
  for (int guard = 0; guard < 100; ++guard) {
    Line line;
    line.result = reader.tlxRcnGetLine(line.text);
    lines.push_back(line);
    if (line.result == 0 && line.text.empty()) break;
  }
  return lines;
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class TempFolder {
 public:
  TempFolder() {
    char pattern[] = "/tmp/remote_tables_XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

std::string scrambled(const std::string& text) {
  std::string out = text;
  RcnScrambleTables().scramble(reinterpret_cast<uint8_t*>(out.data()), out.size(), out.size());
  return out;
}

std::string descrambled(const std::string& text) {
  std::string out = text;
  RcnScrambleTables().descramble(reinterpret_cast<uint8_t*>(out.data()), out.size(), out.size());
  return out;
}

int runPack(const std::string& args) {
  return std::system((std::string(TLX_RCNPACK) + " " + args + " 2>/dev/null").c_str());
}

}  // namespace

TEST(Base64DecodeText, Vectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"QUJD", "ABC"}, {"QUI=", "AB"}, {"QUI", "AB"}, {"Q", ""},
      {"QU\r\nJ D", "ABC"}, {"=QUJD", "ABC"},  // foreign characters never end the text
      // RFC 4648, section 10
      {"", ""}, {"Zg==", "f"}, {"Zm8=", "fo"}, {"Zm9v", "foo"}, {"Zm9vYg==", "foob"},
      {"Zm9vYmE=", "fooba"}, {"Zm9vYmFy", "foobar"}};
  for (const auto& [text, bytes] : cases) {
    Decoded d = decode(text, 16);
    EXPECT_TRUE(d.ok) << text;
    EXPECT_EQ(d.size, static_cast<int>(bytes.size())) << text;
    EXPECT_EQ(d.bytes, bytes) << text;
  }
}

TEST(Base64DecodeText, MeasuresAndStopsAtTheCapacity) {
  int size = 0;
  EXPECT_FALSE(tlxBase64DecodeText("Zm9vYmFy", 8, nullptr, &size));
  EXPECT_EQ(size, 6);
  // One byte short: the first group fits, the second does not.
  Decoded d = decode("Zm9vYmFy", 5);
  EXPECT_FALSE(d.ok);
  EXPECT_EQ(d.size, 6);
  EXPECT_EQ(d.bytes.substr(0, 3), "foo");
  EXPECT_EQ(d.bytes.substr(3), "##");
  EXPECT_FALSE(tlxBase64DecodeText(nullptr, 0, nullptr, &size));
  EXPECT_FALSE(tlxBase64DecodeText("QUJD", 4, nullptr, nullptr));
}

TEST(Base64DecodeText, AgreesWithOpenSsl) {
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::string bytes(static_cast<size_t>(random() % 200), '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    std::string text = base64Of(bytes);
    std::string reference(text.size(), '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(reference.data()),
                            reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    ASSERT_GE(n, 0);
    // EVP_DecodeBlock counts the bytes of the padding characters too.
    size_t padding = text.size() - text.find_last_not_of('=') - 1;
    reference.resize(static_cast<size_t>(n) - padding);
    EXPECT_EQ(decode(text, 200).bytes, reference);
    EXPECT_EQ(reference, bytes);
  }
}

TEST(TextReader, Lines) {
  const std::pair<std::u16string, std::vector<Line>> cases[] = {
      {u"a\r\n\r\nb", {{1, u"a"}, {2, u"b"}, {0, u""}}},
      {u"\r\n\r\na", {{2, u"a"}, {0, u""}}},
      {u"abc", {{0, u"abc"}, {0, u""}}},
      {u"ab\0cd\r\n"s, {{0, u"ab"}, {0, u""}}},
      {u"a\rb", {{1, u"a"}, {1, u"b"}, {0, u""}}},
      {u"a\nb\n", {{1, u"a"}, {2, u"b"}, {0, u""}}},
      {u"a\n\rb", {{1, u"a"}, {1, u"b"}, {0, u""}}},
      {u"", {{0, u""}}},
  };
  for (const auto& [text, lines] : cases) {
    SCOPED_TRACE(tlxUtf8Of(text));
    RcnTextReader reader;
    std::string table = plainTable(text);
    ASSERT_TRUE(reader.tlxRcnLoadText(static_cast<unsigned>(table.size()), table.data()));
    EXPECT_EQ(readAll(reader), lines);
  }
}

TEST(TextReader, ALongLineComesInPieces) {
  std::u16string text(3000, u'x');
  text += u"\r\nend";
  std::string table = plainTable(text);
  RcnTextReader reader;
  ASSERT_TRUE(reader.tlxRcnLoadText(static_cast<unsigned>(table.size()), table.data()));
  std::vector<Line> expected = {
      {0, std::u16string(2047, u'x')}, {1, std::u16string(953, u'x')}, {1, u"end"}, {0, u""}};
  EXPECT_EQ(readAll(reader), expected);
}

TEST(TextReader, ReadsOnlyTheGivenLength) {
  std::string table = plainTable(u"line one\r\nline two");
  RcnTextReader reader;
  EXPECT_TRUE(reader.tlxRcnLoadText(8, table.data()));
  EXPECT_EQ(readAll(reader), (std::vector<Line>{{0, u"lin"}, {0, u""}}));
  EXPECT_FALSE(reader.tlxRcnLoadText(4, nullptr));
}

TEST(Scramble, AgreesWithTheTwinOnEveryLengthUpTo300) {
  TempFolder folder;
  std::mt19937 random(5);
  static constexpr char kCharacters[] =
      "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz+/=\r\n";
  std::vector<std::string> plain;
  std::string hexLines;
  for (size_t length = 0; length <= 300; ++length) {
    std::string text(length, '\0');
    for (char& c : text) c = kCharacters[random() % (sizeof kCharacters - 1)];
    plain.push_back(text);
    hexLines += toHex(text.data(), text.size()) + "\n";
  }
  writeFile(folder.path() / "plain.txt", hexLines);
  PeerResult twin = runTwin("scramble_twin.py", "scramble " + (folder.path() / "plain.txt").string());
  ASSERT_EQ(twin.status, 0);
  std::vector<std::string> twinScrambled;
  size_t at = 0;
  for (size_t k = 0; k < plain.size(); ++k) {
    size_t end = twin.out.find('\n', at);
    std::string hex = twin.out.substr(at, end == std::string::npos ? std::string::npos : end - at);
    Bytes bytes = fromHex(hex);
    twinScrambled.emplace_back(bytes.begin(), bytes.end());
    at = end == std::string::npos ? twin.out.size() : end + 1;
  }
  std::string ours;
  for (size_t k = 0; k < plain.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(scrambled(plain[k]), twinScrambled[k]);
    EXPECT_EQ(descrambled(twinScrambled[k]), plain[k]);
    ours += toHex(scrambled(plain[k]).data(), plain[k].size()) + "\n";
  }
  writeFile(folder.path() / "ours.txt", ours);
  PeerResult back = runTwin("scramble_twin.py", "descramble " + (folder.path() / "ours.txt").string());
  ASSERT_EQ(back.status, 0);
  EXPECT_EQ(back.out + "\n", hexLines);
}

TEST(Scramble, FrozenVectorAndForeignCharactersPassUntouched) {
  EXPECT_EQ(scrambled("QUJDREVG\r\nR0g=AA=="), "WsDq7L7s\r\nze6=TG==");
  // Same length, so the same start: the Base64 characters scramble alike
  // whatever stands between them.
  std::string a = scrambled("AB==CD\r\nEF");
  std::string b = scrambled("AB\r\nCD==EF");
  EXPECT_EQ(a.substr(0, 2) + a.substr(4, 2) + a.substr(8), b.substr(0, 2) + b.substr(4, 2) + b.substr(8));
  EXPECT_EQ(a.substr(2, 2) + a.substr(6, 2), "==\r\n");
}

TEST(SetTextReader, EachReaderBuildsItsOwnTablesOnFirstUse) {
  std::string table = scrambled(plainTable(u"first\r\nsecond\r\n"));
  RcnSetTextReader one;
  RcnSetTextReader two;
  EXPECT_FALSE(one.tablesReady());
  ASSERT_TRUE(one.tlxRcnLoadText(static_cast<unsigned>(table.size()), table.data()));
  EXPECT_TRUE(one.tablesReady());
  EXPECT_FALSE(two.tablesReady());
  ASSERT_TRUE(two.tlxRcnLoadText(static_cast<unsigned>(table.size()), table.data()));
  std::vector<Line> expected = {{1, u"first"}, {2, u"second"}, {0, u""}};
  EXPECT_EQ(readAll(one), expected);
  EXPECT_EQ(readAll(two), expected);
  // Loading again reads the same text from the top with the same tables.
  ASSERT_TRUE(one.tlxRcnLoadText(static_cast<unsigned>(table.size()), table.data()));
  EXPECT_EQ(readAll(one), expected);
}

TEST(Pack, AgreesWithTheTwinAndReadsBack) {
  TempFolder folder;
  std::mt19937 random(3);
  const std::u16string pieces[] = {u"Remote", u"\u30EA\u30E2\u30B3\u30F3", u"\r\n", u"\n", u"\t",
                                   u"\U0001F4FA", u"=", u"x"};
  for (int round = 0; round < 12; ++round) {
    std::u16string text;
    for (int k = 0; k < round * 7; ++k) text += pieces[random() % std::size(pieces)];
    if (round == 11) text += std::u16string(100, u'y');  // more than one Base64 line of it
    std::string source = tlxUtf8Of(text);
    writeFile(folder.path() / "source.txt", source);
    for (bool plain : {false, true}) {
      SCOPED_TRACE(std::to_string(round) + (plain ? " plain" : " scrambled"));
      std::string flag = plain ? "--plain " : "";
      ASSERT_EQ(runPack(flag + (folder.path() / "source.txt").string() + " " + folder.path().string() +
                        " TLXPC_RCN_SET_FILE 7"), 0);
      std::string packed = readFile(folder.path() / "TLXPC_RCN_SET_FILE" / "7.bin");
      PeerResult twin = runTwin("scramble_twin.py", flag + "pack " + (folder.path() / "source.txt").string() +
                                                    " " + (folder.path() / "twin.bin").string());
      ASSERT_EQ(twin.status, 0);
      EXPECT_EQ(packed, readFile(folder.path() / "twin.bin"));

      std::unique_ptr<RcnTextReader> reader =
          plain ? std::make_unique<RcnTextReader>() : std::make_unique<RcnSetTextReader>();
      ASSERT_TRUE(reader->tlxRcnLoadText(static_cast<unsigned>(packed.size()), packed.data()));
      std::u16string lines;
      for (const Line& line : readAll(*reader)) lines += line.text;
      std::u16string expected;
      for (char16_t c : text) {
        if (c != u'\r' && c != u'\n') expected += c;
      }
      EXPECT_EQ(lines, expected);
    }
  }
}

TEST(Pack, RefusesWhatItCannotPack) {
  TempFolder folder;
  writeFile(folder.path() / "bad.txt", "ok\xC3\x28\n");
  std::string out = " " + folder.path().string() + " TLXPC_RCN_SET_FILE 1";
  EXPECT_NE(runPack((folder.path() / "bad.txt").string() + out), 0);
  EXPECT_NE(runPack((folder.path() / "missing.txt").string() + out), 0);
  writeFile(folder.path() / "good.txt", "ok\n");
  EXPECT_NE(runPack((folder.path() / "good.txt").string() + " " + folder.path().string() + " ../up 1"), 0);
  EXPECT_NE(runPack("--plain"), 0);
  EXPECT_FALSE(std::filesystem::exists(folder.path() / "TLXPC_RCN_SET_FILE"));
}

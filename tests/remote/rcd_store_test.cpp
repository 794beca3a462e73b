// The remote-code file store through its flat functions: the folder, the
// enumeration, the error numbers and the code encodings' rules.
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "remote/data/rcd_file.h"
#include "remote/data/rcd_reader.h"
#include "remote/data/rcd_writer.h"
#include "rcd_test_support.h"

namespace {

const std::string kHeader = "Content-Type: application/x-rmc-data; charset=utf-8\r\nName: N\r\nType: TV\r\n";

// A file of one remote with the given header lines and code lines, without a
// checksum line.
std::string remoteText(const std::string& header, const std::string& encoding, const std::string& codes) {
  return header + "RCode-Encoding: " + encoding + "\r\n\r\n" + codes + "\r\n";
}

// Reads the first code of a file; the record's length, or -1 with the error.
int firstCode(const std::u16string& path, RcdCodeRecord& record) {
  RcdHandle reader = tlxRcdOpenRead(path.c_str());
  if (reader == nullptr) return -1;
  RcdHeaderInfo info;
  record.size = sizeof record;
  bool ok = tlxRcdReadHeader(reader, &info) && tlxRcdReadCode(reader, &record);
  tlxRcdClose(reader);
  return ok ? record.length : -1;
}

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

using RcdStoreFolder = RcdStoreTest;
using RcdStoreErrors = RcdStoreTest;
using RcdCodes = RcdStoreTest;

TEST_F(RcdStoreFolder, EmptyOrUnsetSharedFolderResolvesToItsXdgDefaultAndTheFirstSaveMakesIt) {
  ScratchFolder data;
  ScopedEnv xdg("XDG_DATA_HOME", data.path().string());
  const std::string expected = data.path().string() + "/tlx-player/all-users/TL/RC_DATA/";
  for (bool empty : {true, false}) {
    rcdStore() = RcdStore();
    ScopedEnv shared("ALLUSERSPROFILE", "");
    if (!empty) unsetenv("ALLUSERSPROFILE");
    EXPECT_EQ(utf8(tlxRcdFolder()), expected);
  }
  ASSERT_FALSE(std::filesystem::exists(expected));
  RcdHandle writer = tlxRcdOpenWrite(u"first.rcd");
  ASSERT_NE(writer, nullptr) << tlxRcdGetLastError();
  tlxRcdClose(writer);
  EXPECT_TRUE(std::filesystem::is_regular_file(expected + "first.rcd"));
  // An explicit path whose folder is missing is not made.
  EXPECT_EQ(tlxRcdOpenWrite(data.wide("missing/x.rcd").c_str()), nullptr);
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrNotFound);
}

TEST_F(RcdStoreFolder, MakePathJoinsBareNamesOnly) {
  struct Case {
    std::u16string folder;
    std::u16string name;
    std::u16string path;
  };
  const Case cases[] = {
      {u"/data/RC/", u"a.rcd", u"/data/RC/a.rcd"},
      {u"/data/RC", u"a.rcd", u"/data/RC/a.rcd"},
      {u"C:\\RC\\", u"a.rcd", u"C:\\RC\\a.rcd"},
      {u"/data/RC/", u"sub/a.rcd", u"sub/a.rcd"},
      {u"/data/RC/", u"c:a.rcd", u"c:a.rcd"},
      {u"/data/RC/", u"x\\a.rcd", u"x\\a.rcd"},
      {u"", u"a.rcd", u"a.rcd"},
  };
  for (const Case& c : cases) {
    rcdStore().folder = c.folder;
    char16_t out[64];
    ASSERT_TRUE(tlxRcdMakePath(c.name.c_str(), out, 64));
    EXPECT_EQ(std::u16string(out), c.path);
    EXPECT_TRUE(tlxRcdMakePath(c.name.c_str(), out, static_cast<int>(c.path.size() + 1)));
    EXPECT_FALSE(tlxRcdMakePath(c.name.c_str(), out, static_cast<int>(c.path.size())));
  }
  rcdStore().folder = u"/data/";
  EXPECT_EQ(tlxRcdOpenRead((std::u16string(260, u'n')).c_str()), nullptr);
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrPath);
}

TEST_F(RcdStoreFolder, EnumerationFindsRcdFilesInNameOrderAndChecksHeadersOnRequest) {
  ScratchFolder folder;
  rcdStore().folder = tlxUtf16Of(folder.path().string());
  const std::string good = remoteText(kHeader, "hex", "");
  writeWhole(folder.path() / "b.rcd", good);
  writeWhole(folder.path() / "A.RCD", good);
  writeWhole(folder.path() / "c.rcd", remoteText(kHeader + "Version: 2.0\r\n", "hex", ""));
  writeWhole(folder.path() / "d.rcd", good);
  writeWhole(folder.path() / "notes.txt", good);
  std::filesystem::create_directory(folder.path() / "dir.rcd");
  writeWhole(folder.path() / (std::string(300 - folder.path().string().size(), 'l') + ".rcd"), good);
  auto walk = [&](int flags) {
    std::vector<std::string> names;
    char16_t path[kRcdMaxPath];
    while (tlxRcdEnumFiles(path, flags) == 1) {
      names.push_back(std::filesystem::path(utf8(path)).filename().string());
      EXPECT_EQ(utf8(path).rfind(folder.path().string() + "/", 0), 0u);
    }
    return names;
  };
  EXPECT_EQ(walk(0), (std::vector<std::string>{"A.RCD", "b.rcd", "c.rcd", "d.rcd"}));
  EXPECT_EQ(walk(kRcdEnumCheckHeader), (std::vector<std::string>{"A.RCD", "b.rcd", "d.rcd"}));
  // Ending early and starting again begins at the top.
  char16_t path[kRcdMaxPath];
  ASSERT_EQ(tlxRcdEnumFiles(path, 0), 1);
  EXPECT_EQ(tlxRcdEnumFiles(nullptr, 0), 0);
  ASSERT_EQ(tlxRcdEnumFiles(path, 0), 1);
  EXPECT_EQ(std::filesystem::path(utf8(path)).filename(), "A.RCD");
}

TEST_F(RcdStoreErrors, ArgumentsAndHeaderToWrite) {
  ScratchFolder folder;
  RcdHandle writer = tlxRcdOpenWrite(folder.wide("w.rcd").c_str());
  ASSERT_NE(writer, nullptr);
  RcdHeaderInfo info;
  RcdCodeRecord record = codeRecord("K", u"", {1});
  int flags = 0;
  RcdHeaderInput header{};
  header.name = u"Name";
  header.type = "";
  const std::pair<const char*, bool> calls[] = {
      {"open read null", tlxRcdOpenRead(nullptr) != nullptr},
      {"open write null", tlxRcdOpenWrite(nullptr) != nullptr},
      {"read header null", tlxRcdReadHeader(nullptr, &info) != FALSE},
      {"write header without record", tlxRcdWriteHeader(writer, nullptr) != FALSE},
      {"empty type", tlxRcdWriteHeader(writer, &header) != FALSE},
      {"read code from a writer", tlxRcdReadCode(writer, &record) != FALSE},
      {"write checksum without flags", tlxRcdWriteChecksum(writer, nullptr) != FALSE},
      {"option without handle", tlxRcdSetOption(nullptr, "COM:x") == 0},
  };
  for (const auto& [what, succeeded] : calls) {
    EXPECT_FALSE(succeeded) << what;
  }
  header.type = "TV";
  header.name = u"";
  EXPECT_FALSE(tlxRcdWriteHeader(writer, &header));
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrArgument);
  header.name = u"Name";
  EXPECT_TRUE(tlxRcdWriteHeader(writer, &header));
  EXPECT_EQ(tlxRcdGetLastError(), kRcdOk);
  EXPECT_TRUE(tlxRcdWriteChecksum(writer, &flags));
  tlxRcdClose(writer);
  tlxRcdClose(nullptr);
}

TEST_F(RcdStoreErrors, ObjectsOpenOnceAndOnlyWorkOpen) {
  ScratchFolder folder;
  writeWhole(folder.path() / "r.rcd", remoteText(kHeader, "hex", ""));
  RcdReader reader;
  EXPECT_FALSE(reader.readHeader());
  EXPECT_EQ(reader.lastError(), kRcdErrNotOpen);
  ASSERT_TRUE(reader.open((folder.path() / "r.rcd").string()));
  EXPECT_FALSE(reader.open((folder.path() / "r.rcd").string()));
  EXPECT_EQ(reader.lastError(), kRcdErrAlreadyOpen);
  EXPECT_TRUE(reader.readHeader());
  RcdWriter writer;
  EXPECT_FALSE(writer.writeHeader());
  EXPECT_EQ(writer.lastError(), kRcdErrNotOpen);
  ASSERT_TRUE(writer.open((folder.path() / "w.rcd").string()));
  EXPECT_FALSE(writer.open((folder.path() / "w.rcd").string()));
  EXPECT_EQ(writer.lastError(), kRcdErrAlreadyOpen);
}

TEST_F(RcdStoreErrors, OpenAndWriteFailures) {
  ScratchFolder folder;
  EXPECT_EQ(tlxRcdOpenRead(folder.wide("none.rcd").c_str()), nullptr);
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrNotFound);
  EXPECT_EQ(tlxRcdOpenRead(folder.wide("none/x.rcd").c_str()), nullptr);
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrNotFound);
  // A folder is not a file.
  EXPECT_EQ(tlxRcdOpenWrite(tlxUtf16Of(folder.path().string()).c_str()), nullptr);
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrOpen);
  EXPECT_EQ(tlxRcdOpenRead(tlxUtf16Of(folder.path().string()).c_str()), nullptr);
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrOpen);
  if (geteuid() != 0) {
    std::filesystem::create_directory(folder.path() / "locked");
    std::filesystem::permissions(folder.path() / "locked", std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::owner_exec);
    EXPECT_EQ(tlxRcdOpenWrite(folder.wide("locked/x.rcd").c_str()), nullptr);
    EXPECT_EQ(tlxRcdGetLastError(), kRcdErrAccess);
  }
  const std::pair<int, int> errnos[] = {
      {ENOENT, kRcdErrNotFound}, {ENOTDIR, kRcdErrNotFound}, {EACCES, kRcdErrAccess},
      {EPERM, kRcdErrAccess},    {EROFS, kRcdErrAccess},     {EISDIR, kRcdErrOpen}};
  for (const auto& [error, number] : errnos) EXPECT_EQ(rcdErrorOfErrno(error, kRcdErrOpen), number) << error;
  EXPECT_EQ(rcdErrorOfErrno(ENOSPC, kRcdErrWrite), kRcdErrDiskFull);
  EXPECT_EQ(rcdErrorOfErrno(EDQUOT, kRcdErrWrite), kRcdErrDiskFull);
  EXPECT_EQ(rcdErrorOfErrno(EIO, kRcdErrWrite), kRcdErrWrite);
  EXPECT_EQ(rcdErrorOfErrno(EIO, kRcdErrRead), kRcdErrRead);

  RcdHandle full = tlxRcdOpenWrite(u"/dev/full");
  ASSERT_NE(full, nullptr);
  RcdHeaderInput header{};
  header.name = u"N";
  header.type = "TV";
  EXPECT_FALSE(tlxRcdWriteHeader(full, &header));
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrDiskFull);
  tlxRcdClose(full);
}

TEST_F(RcdStoreErrors, HeaderChecks) {
  ScratchFolder folder;
  const std::pair<std::string, int> cases[] = {
      {kHeader, kRcdOk},
      {kHeader + "Version: 1\r\n", kRcdOk},
      {kHeader + "Version: \r\n", kRcdOk},
      {kHeader + "Version: 1.0\r\n", kRcdOk},
      {kHeader + "Version: 1.1\r\n", kRcdErrVersion},
      {kHeader + "Version: 2.0\r\n", kRcdErrVersion},
      {"Content-Type: application/x-rmc-data;charset=utf-8\r\nName: N\r\nType: TV\r\n", kRcdErrContentType},
      {"", kRcdErrEndOfFile},
  };
  for (const auto& [header, error] : cases) {
    SCOPED_TRACE(header);
    writeWhole(folder.path() / "h.rcd", header.empty() ? "" : remoteText(header, "hex", ""));
    RcdHandle reader = tlxRcdOpenRead(folder.wide("h.rcd").c_str());
    ASSERT_NE(reader, nullptr);
    RcdHeaderInfo info;
    EXPECT_EQ(tlxRcdReadHeader(reader, &info), error == kRcdOk);
    EXPECT_EQ(tlxRcdGetLastError(), error);
    tlxRcdClose(reader);
  }
}

TEST_F(RcdStoreErrors, RecordsTooSmallAndCodesTooLong) {
  ScratchFolder folder;
  const std::u16string path = folder.wide("c.rcd");
  setDecodingKey("pc");  // plain hexadecimal codes
  RcdHandle writer = tlxRcdOpenWrite(path.c_str());
  RcdHeaderInput header{};
  header.name = u"N";
  header.type = "TV";
  ASSERT_TRUE(tlxRcdWriteHeader(writer, &header));
  const std::string before = readWhole(tlxUtf8Of(path));
  RcdCodeRecord record = codeRecord("KEY", u"Label", {1, 2});
  record.size = 603;
  EXPECT_FALSE(tlxRcdWriteCode(writer, &record));
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrRecordSize);
  for (const char* key : {"", "KEY:COLON", "KEY WITH BLANK", "K\xC3\xA4Y", "!KEY"}) {
    record = codeRecord(key, u"", {1});
    EXPECT_FALSE(tlxRcdWriteCode(writer, &record)) << key;
    EXPECT_EQ(tlxRcdGetLastError(), kRcdErrTooLong) << key;
  }
  record = codeRecord("", u"", {1});
  std::memset(record.key, 'K', sizeof record.key);  // 41 characters, no terminator
  EXPECT_FALSE(tlxRcdWriteCode(writer, &record));
  record = codeRecord("KEY", u"", {});
  record.length = 513;
  EXPECT_FALSE(tlxRcdWriteCode(writer, &record));
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrTooLong);
  EXPECT_EQ(readWhole(tlxUtf8Of(path)), before);
  // Forty characters and a label beyond twenty units are written, the label cut.
  record = codeRecord("", u"", {7});
  std::memset(record.key, '!', 40);
  record.key[0] = 'A';
  std::u16string label = u"A label of more than twenty units";
  std::copy_n(label.begin(), 21, record.label);  // no terminator within the field
  EXPECT_TRUE(tlxRcdWriteCode(writer, &record));
  int flags = kRcdWriteChecksumLine;
  EXPECT_TRUE(tlxRcdWriteChecksum(writer, &flags));
  tlxRcdClose(writer);

  RcdCodeRecord back;
  ASSERT_EQ(firstCode(path, back), 1);  // the first code written is the long key's
  EXPECT_EQ(std::string(back.key), "A" + std::string(39, '!'));
  EXPECT_EQ(utf8(back.label), "A label of more than");
  back.size = 603;
  RcdHandle reader = tlxRcdOpenRead(path.c_str());
  RcdHeaderInfo info;
  ASSERT_TRUE(tlxRcdReadHeader(reader, &info));
  EXPECT_FALSE(tlxRcdReadCode(reader, &back));
  EXPECT_EQ(tlxRcdGetLastError(), kRcdErrRecordSize);
  tlxRcdClose(reader);
}

TEST_F(RcdStoreErrors, ChecksumUnderAnotherSecretFails) {
  ScratchFolder folder;
  const std::string body = kHeader + "RCode-Encoding: hex\r\n\r\nK\tL\t01\r\n\r\n";
  const uint8_t salt[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (const char* secret : {"7mqRtaWz", "7mqRtaWy"}) {
    SCOPED_TRACE(secret);
    // The digest over the lines without their ends, the salt and the secret.
    std::string lines;
    for (size_t at = 0; at < body.size();) {
      size_t end = body.find("\r\n", at);
      lines += body.substr(at, end - at);
      at = end + 2;
    }
    lines.append(reinterpret_cast<const char*>(salt), 8);
    lines += secret;
    uint8_t digest[16];
    unsigned int n = 0;
    EVP_Digest(lines.data(), lines.size(), digest, &n, EVP_md5(), nullptr);
    writeWhole(folder.path() / "s.rcd", body + "Checksum: " + toHex(salt, 8) + toHex(digest, 16) + "\r\n");
    RcdHandle reader = tlxRcdOpenRead(folder.wide("s.rcd").c_str());
    RcdHeaderInfo info;
    RcdCodeRecord record;
    record.size = sizeof record;
    ASSERT_TRUE(tlxRcdReadHeader(reader, &info));
    ASSERT_TRUE(tlxRcdReadCode(reader, &record));
    EXPECT_FALSE(tlxRcdReadCode(reader, &record));
    EXPECT_EQ(tlxRcdGetLastError(), kRcdErrEndOfList);
    RcdChecksumStatus status;
    bool right = std::string(secret) == kRcdChecksumSecret;
    EXPECT_EQ(tlxRcdGetChecksumStatus(reader, &status), right);
    EXPECT_EQ(tlxRcdGetLastError(), right ? kRcdOk : kRcdErrChecksum);
    EXPECT_EQ(status.flags, 3);
    EXPECT_EQ(toHex(status.digest4, 4), toHex(digest, 4));
    EXPECT_FALSE(tlxRcdReadHeader(reader, &info));
    EXPECT_EQ(tlxRcdGetLastError(), kRcdErrEndOfFile);
    tlxRcdClose(reader);
  }
}

TEST_F(RcdCodes, ChainRules) {
  ScratchFolder folder;
  const std::u16string path = folder.wide("chain.rcd");
  struct Case {
    const char* encoding;
    const char* column;
    const char* decodingKey;
    std::string code;  // hex
  };
  const Case cases[] = {
      {"hex", "01 02", "", "0102"},
      {"c1+hex", "01 02", "", ""},        // "c1" ends the chain with an empty code
      {"hex+c1", "01 02", "", ""},
      {"hex++", "0a", "", "0a"},          // empty names are dropped
      {"base64+c9", "AQI=", "", ""},      // an unknown stage too
      {"base64+c3", "AQI=", "", "0102"},  // without a decoding key "c3" passes the data on
      {"base64+c3", "AQI=", "k", ""},     // with one, data that is not a packet is dropped
      {"base64+c2", "AQI=", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.encoding) + " " + c.column + " key " + c.decodingKey);
    writeWhole(tlxUtf8Of(path), remoteText(kHeader, c.encoding, std::string("K\tL\t") + c.column + "\r\n"));
    setDecodingKey(c.decodingKey);
    RcdCodeRecord record;
    ASSERT_GE(firstCode(path, record), 0);
    EXPECT_EQ(toHex(record.code, static_cast<size_t>(record.length)), c.code);
  }
}

TEST_F(RcdCodes, SealedCodesWithoutADecodingKeyAndTheShortCodeRule) {
  ScratchFolder folder;
  const std::u16string path = folder.wide("sealed.rcd");
  Bytes sealedEmpty = {0xFF, 0xFF, 0xFF, 0xFF};
  sealedEmpty.resize(20, 0x5A);
  const std::pair<Bytes, size_t> cases[] = {
      {{}, 0},                     // sealed into 20 bytes: an empty code
      {sealedEmpty, 0},            // taken as sealed, written as it is
      {patternBytes(5, 1), 36},    // marker, header and one padded block
      {patternBytes(20, 2), 52},
  };
  for (const auto& [code, readLength] : cases) {
    SCOPED_TRACE(code.size());
    rcdStore() = RcdStore();
    RcdHandle writer = tlxRcdOpenWrite(path.c_str());
    RcdHeaderInput header{};
    header.name = u"N";
    header.type = "TV";
    ASSERT_TRUE(tlxRcdWriteHeader(writer, &header));
    RcdCodeRecord record = codeRecord("K", u"", code);
    ASSERT_TRUE(tlxRcdWriteCode(writer, &record));
    tlxRcdClose(writer);
    RcdCodeRecord back;
    ASSERT_EQ(firstCode(path, back), static_cast<int>(readLength));
    if (readLength > 0) {
      EXPECT_EQ(toHex(back.code, 4), "ffffffff");
    }
    setDecodingKey(kRcdRemoteCodeKey);
    int opened = firstCode(path, back);
    if (code == sealedEmpty) {
      EXPECT_EQ(opened, 0);  // not a packet of this key: dropped
    } else {
      ASSERT_EQ(opened, static_cast<int>(code.size()));
      EXPECT_EQ(Bytes(back.code, back.code + opened), code);
    }
  }
}

TEST_F(RcdCodes, ControlCharactersCannotBreakLines) {
  ScratchFolder folder;
  const std::u16string path = folder.wide("controls.rcd");
  RcdHandle writer = tlxRcdOpenWrite(path.c_str());
  RcdHeaderInput header{};
  header.name = u"Two\r\nlines";
  header.type = "TV\n";
  header.description = u"Tab\there";
  ASSERT_TRUE(tlxRcdWriteHeader(writer, &header));
  RcdCodeRecord record = codeRecord("K", u"a\tb\nc", {9});
  ASSERT_TRUE(tlxRcdWriteCode(writer, &record));
  int flags = kRcdWriteChecksumLine;
  ASSERT_TRUE(tlxRcdWriteChecksum(writer, &flags));
  tlxRcdClose(writer);
  const std::string read = transcript(path, kRcdRemoteCodeKey);
  const std::string start = "header 256|Two  lines|TV|Tab here|||base64+c3|\ncode K|a b c|09\nend 18\nchecksum 3|";
  EXPECT_EQ(read.substr(0, start.size()), start);
  EXPECT_NE(read.find("|0\nstop 19\nline-ends crlf"), std::string::npos) << read;
}

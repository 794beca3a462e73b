// Helpers of the remote-code file tests: a scratch folder, whole files, code
// records, and the transcript of a file read through the store's functions
// (the same text the Python twin gives, rcd_twin.py).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "remote/data/utf_text.h"
#include "remote/rcd_store.h"
#include "remote/rcd_access.h"
#include "twin_runner.h"

class ScratchFolder {
 public:
  ScratchFolder() {
    char pattern[] = "/tmp/remote_rcd_XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }
  std::u16string wide(const std::string& name) const { return tlxUtf16Of((path_ / name).string()); }

 private:
  std::filesystem::path path_;
};

inline std::string readWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeWhole(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline RcdCodeRecord codeRecord(const char* key, const std::u16string& label, const Bytes& code) {
  RcdCodeRecord record;
  std::memset(&record, 0, sizeof record);
  record.size = sizeof record;
  std::memcpy(record.key, key, std::min(std::strlen(key), sizeof record.key));
  std::copy_n(label.begin(), std::min<size_t>(label.size(), 20), record.label);
  std::copy(code.begin(), code.end(), record.code);
  record.length = static_cast<int32_t>(code.size());
  return record;
}

// A fresh store state for each test: the default folder, keys and mode.
class RcdStoreTest : public testing::Test {
 protected:
  void SetUp() override { rcdStore() = RcdStore(); }
  void TearDown() override { rcdStore() = RcdStore(); }
};

// Sets the decoding key ("COM:") through the store's function.
inline void setDecodingKey(const std::string& key) {
  int dummy = 0;
  tlxRcdSetOption(&dummy, ("COM:" + key).c_str());
}

inline std::string utf8(const char16_t* text) { return text ? tlxUtf8Of(text) : std::string(); }

// The transcript of a file read through the store's functions with the given
// decoding key (rcd_twin.py describes it). Bounded, so a damaged file cannot
// keep it reading.
inline std::string transcript(const std::u16string& path, const std::string& key) {
  setDecodingKey(key);
  std::string out;
  RcdHandle reader = tlxRcdOpenRead(path.c_str());
  if (reader == nullptr) return "open " + std::to_string(tlxRcdGetLastError());
  for (int section = 0; section < 1000; ++section) {
    RcdHeaderInfo info;
    if (!tlxRcdReadHeader(reader, &info)) {
      out += "stop " + std::to_string(tlxRcdGetLastError()) + "\n";
      break;
    }
    out += "header " + std::to_string(info.version) + "|" + utf8(info.name) + "|" + info.type + "|" +
           utf8(info.description) + "|" + info.makeId + "|" + utf8(info.makeName) + "|" + info.encoding +
           "|" + info.guid + "\n";
    for (int entry = 0; entry < 100000; ++entry) {
      RcdCodeRecord record;
      record.size = sizeof record;
      if (tlxRcdReadCode(reader, &record)) {
        out += std::string("code ") + record.key + "|" + utf8(record.label) + "|" +
               toHex(record.code, static_cast<size_t>(record.length)) + "\n";
        continue;
      }
      int error = tlxRcdGetLastError();
      if (error == kRcdErrTooLong) {
        out += "error 21\n";
        continue;
      }
      out += "end " + std::to_string(error) + "\n";
      break;
    }
    RcdChecksumStatus status;
    BOOL passed = tlxRcdGetChecksumStatus(reader, &status);
    out += "checksum " + std::to_string(status.flags) + "|" +
           ((status.flags & 2) ? toHex(status.digest4, 4) : std::string("-")) + "|" +
           std::to_string(passed ? 0 : tlxRcdGetLastError()) + "\n";
  }
  tlxRcdClose(reader);
  const std::string raw = readWhole(tlxUtf8Of(path));
  bool crlf = false;
  bool lf = false;
  for (size_t at = raw.find('\n'); at != std::string::npos; at = raw.find('\n', at + 1)) {
    (at > 0 && raw[at - 1] == '\r' ? crlf : lf) = true;
  }
  out += std::string("line-ends ") + (crlf && lf ? "mixed" : crlf ? "crlf" : lf ? "lf" : "none");
  return out;
}

#include "remote/data/rcd_writer.h"

#include <cerrno>

#include "remote/data/hex_text.h"
#include "remote/data/utf_text.h"
#include "remote/rcd_access.h"
#include "ses/ses_random.h"

namespace {

// Control characters as blanks, so no value can end or split its line.
std::string blankControls(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = ' ';
  }
  return out;
}

}  // namespace

bool RcdWriter::open(const std::string& path) {
  if (!openFile(path, "wb")) return false;
  setDefaults();
  return true;
}

void RcdWriter::setDefaults() {
  values_ = RcdHeaderValues();
  values_.contentType = kRcdContentType;
  values_.version = "1.0";
  values_.encoding = "base64+c1";
  checksumText_.clear();
}

bool RcdWriter::writeLine(std::string_view content) {
  if (!isOpen()) return fail(kRcdErrNotOpen);
  feed(content.data(), content.size());
  errno = 0;
  bool ok = std::fwrite(content.data(), 1, content.size(), file()) == content.size() &&
            std::fputs("\r\n", file()) >= 0 && std::fflush(file()) == 0;
  if (!ok) return fail(rcdErrorOfErrno(errno, kRcdErrWrite));
  return succeed();
}

bool RcdWriter::writeField(const char* name, std::string_view value) {
  return writeLine(std::string(name) + ": " + blankControls(value));
}

bool RcdWriter::writeField(const char* name, const std::u16string& value) {
  return writeField(name, tlxUtf8Of(value));
}

bool RcdWriter::writeHeader() {
  if (!isOpen()) return fail(kRcdErrNotOpen);
  startChecksum();
  const RcdHeaderValues& v = values_;
  bool ok = writeField("Content-Type", v.contentType) && writeField("Version", v.version) &&
            writeField("Name", v.name) && writeField("Type", v.type) &&
            (v.description.empty() || writeField("Description", v.description)) &&
            (v.makeId.empty() || writeField("Make-Id", v.makeId)) &&
            (v.makeName.empty() || writeField("Make-Name", v.makeName)) &&
            writeField("RCode-Encoding", v.encoding) && (v.guid.empty() || writeField("GUID", v.guid));
  return ok && writeLine("");
}

bool RcdWriter::writeEntry(std::string_view key, const std::u16string& label, std::string_view code) {
  std::u16string kept = label.substr(0, kRcdMaxLabel);
  return writeLine(std::string(key) + "\t" + blankControls(tlxUtf8Of(kept)) + "\t" + std::string(code));
}

bool RcdWriter::writeChecksum(bool withLine) {
  if (!writeLine("")) return false;
  if (!withLine) return true;
  sesRandomFill(salt_, kRcdSaltSize);
  checksumText_ = tlxBytesToHex(salt_, kRcdSaltSize) + finalDigestHex(salt_);
  // The checksum line is not part of what it checks.
  if (!isOpen()) return fail(kRcdErrNotOpen);
  errno = 0;
  std::string line = "Checksum: " + checksumText_ + "\r\n";
  if (std::fwrite(line.data(), 1, line.size(), file()) != line.size() || std::fflush(file()) != 0) {
    return fail(rcdErrorOfErrno(errno, kRcdErrWrite));
  }
  return succeed();
}

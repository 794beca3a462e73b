// The writer of remote-code files (format: rcd_file.h). Lines end in CR LF
// on every platform; each write reaches the file before the call returns, so
// a full disk is reported by the call that met it.
#pragma once

#include <string>
#include <string_view>

#include "remote/data/rcd_file.h"

class RcdWriter : public RcdFile {
 public:
  // Creates or empties the file and sets the header's defaults. Errors 8,
  // 10, 13, 14.
  bool open(const std::string& path) override;
  // Content-Type and Version "1.0", RCode-Encoding "base64+c1", the rest
  // empty.
  virtual void setDefaults();
  // Starts the digest and writes the header and its empty line: Name, Type,
  // RCode-Encoding always, Description, Make-Id, Make-Name and GUID only
  // when set. Errors 9, 12, 13, 15.
  virtual bool writeHeader();
  // One field line "name: value"; control characters are written as blanks.
  virtual bool writeField(const char* name, const std::u16string& value);
  virtual bool writeField(const char* name, std::string_view value);
  // One code line; the key must be valid (rcd_file.h), control characters of
  // the label are written as blanks. The label is cut to 20 units.
  virtual bool writeEntry(std::string_view key, const std::u16string& label, std::string_view code);
  // Ends the remote with its empty line and, when asked, the checksum line
  // over a fresh salt.
  virtual bool writeChecksum(bool withLine);

 private:
  // Writes the content and CR LF and digests the content.
  bool writeLine(std::string_view content);
};

// rcnpack: packs a UTF-8 text into a region data table.
//
//   rcnpack [--plain] <source text> <bundle folder> <resource type> <id>
//
// writes <bundle folder>/<resource type>/<id>.bin: the text (given a final
// line break when it has none) as UTF-16LE without a byte-order mark, then
// Base64 with CR LF after every 76 characters, then, unless --plain, the
// character scramble whose running value starts at the table's byte length.
// The preset remote database's tables are scrambled; the settings' TV channel
// tables are plain.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "remote/data/rcn_scramble.h"
#include "remote/data/utf_text.h"
#include "ses/ses_coding.h"

namespace {

// Sources are small hand-written tables; anything larger is a mistake.
constexpr std::uintmax_t kMaxSource = 16 * 1024 * 1024;
constexpr size_t kLineLength = 76;

int fail(const std::string& message) {
  std::fprintf(stderr, "rcnpack: %s\n", message.c_str());
  return 1;
}

// The table's bytes for a UTF-8 text; false when the text is not valid UTF-8
// (it would not come back as written).
bool pack(std::string text, bool scrambled, std::string& table) {
  if (text.empty() || (text.back() != '\n' && text.back() != '\r')) text += '\n';
  std::u16string wide = tlxUtf16Of(text);
  if (tlxUtf8Of(wide) != text) return false;
  std::string utf16le;
  for (char16_t unit : wide) {
    utf16le += static_cast<char>(unit & 0xFF);
    utf16le += static_cast<char>(unit >> 8);
  }
  std::string base64(4 * ((utf16le.size() + 2) / 3) + 1, '\0');
  base64.resize(static_cast<size_t>(
      sesBase64Encode(utf16le.data(), static_cast<int>(utf16le.size()), base64.data())));
  table.clear();
  for (size_t at = 0; at < base64.size(); at += kLineLength) {
    table += base64.substr(at, kLineLength);
    if (at + kLineLength <= base64.size()) table += "\r\n";
  }
  if (scrambled) {
    RcnScrambleTables tables;
    tables.scramble(reinterpret_cast<uint8_t*>(table.data()), table.size(), table.size());
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  bool scrambled = true;
  if (!args.empty() && args.front() == "--plain") {
    scrambled = false;
    args.erase(args.begin());
  }
  if (args.size() != 4) {
    return fail("usage: rcnpack [--plain] <source text> <bundle folder> <resource type> <id>");
  }
  const std::filesystem::path source = args[0];
  const std::string& type = args[2];
  const std::string& id = args[3];
  if (type.empty() || id.empty() || type.find_first_of("/\\") != std::string::npos ||
      id.find_first_of("/\\") != std::string::npos) {
    return fail("the resource type and id must be plain names");
  }
  std::error_code error;
  std::uintmax_t size = std::filesystem::file_size(source, error);
  if (error) return fail("cannot read " + source.string() + ": " + error.message());
  if (size > kMaxSource) return fail(source.string() + " is larger than 16 MiB");
  std::ifstream in(source, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return fail("cannot read " + source.string());
  std::string table;
  if (!pack(text, scrambled, table)) return fail(source.string() + " is not valid UTF-8 text");
  const std::filesystem::path folder = std::filesystem::path(args[1]) / type;
  std::filesystem::create_directories(folder, error);
  if (error) return fail("cannot make " + folder.string() + ": " + error.message());
  const std::filesystem::path target = folder / (id + ".bin");
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(table.data(), static_cast<std::streamsize>(table.size()));
  out.close();
  if (!out) return fail("cannot write " + target.string());
  return 0;
}

// The flat functions of the remote-code file store (remote/rcd_access.h).
#include "remote/rcd_access.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "remote/data/rcd_codec.h"
#include "remote/data/rcd_reader.h"
#include "remote/data/rcd_writer.h"
#include "remote/data/utf_text.h"
#include "rcd_store.h"

namespace {

// Sets the process-wide last error; returns FALSE for the caller's convenience.
BOOL failWith(int error) {
  rcdStore().lastError = error;
  return FALSE;
}

BOOL succeeded() {
  rcdStore().lastError = kRcdOk;
  return TRUE;
}

// Runs a step, taking an allocation failure inside it as error 3.
template <typename Step>
auto guarded(Step step, decltype(step()) onFailure) -> decltype(step()) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    rcdStore().lastError = kRcdErrMemory;
    return onFailure;
  }
}

RcdReader* readerOf(RcdHandle handle) { return dynamic_cast<RcdReader*>(static_cast<RcdFile*>(handle)); }
RcdWriter* writerOf(RcdHandle handle) { return dynamic_cast<RcdWriter*>(static_cast<RcdFile*>(handle)); }

// Units before the terminator, at most `limit`.
size_t unitsWithin(const char16_t* text, size_t limit) {
  size_t n = 0;
  while (n < limit && text[n] != 0) ++n;
  return n;
}

// A key the reader takes back as written: 1 to 40 characters from '!' to '~',
// no ':', the first a letter or digit (the reader skips other lines).
bool isWritableKey(const char key[41]) {
  size_t n = strnlen(key, 41);
  if (n == 0 || n > kRcdMaxKey || !std::isalnum(static_cast<unsigned char>(key[0]))) return false;
  return std::all_of(key, key + n, [](char c) { return c >= '!' && c <= '~' && c != ':'; });
}

// Opens a fresh reader or writer of a name or path; null with the error set.
template <typename File>
RcdHandle openFile(const char16_t* nameOrPath, bool createFolder) {
  if (nameOrPath == nullptr) {
    failWith(kRcdErrArgument);
    return nullptr;
  }
  const std::u16string name(nameOrPath);
  const std::u16string path = rcdPathOf(name);
  if (path.empty()) {
    failWith(kRcdErrPath);
    return nullptr;
  }
  if (createFolder && rcdIsBareName(name) && !rcdFolder().empty()) {
    std::error_code ignored;  // a folder that cannot be made fails the open
    std::filesystem::create_directories(tlxUtf8Of(rcdFolder()), ignored);
  }
  auto file = std::make_unique<File>();
  if (!file->open(tlxUtf8Of(path))) {
    failWith(file->lastError());
    return nullptr;
  }
  succeeded();
  return static_cast<RcdFile*>(file.release());
}

// Whether a file's first header passes the content-type and version checks.
bool headerPasses(const std::u16string& path) {
  RcdReader reader;
  return reader.open(tlxUtf8Of(path)) && reader.readHeader();
}

}  // namespace

extern "C" {

const char16_t* tlxRcdFolder() {
  return guarded([] { return rcdFolder().c_str(); }, u"");
}

BOOL tlxRcdMakePath(const char16_t* name, char16_t* out, int outCount) {
  if (name == nullptr || out == nullptr || outCount <= 0) return FALSE;
  return guarded([&]() -> BOOL {
    const std::u16string path = rcdJoinedPath(name);
    if (path.size() + 1 > static_cast<size_t>(outCount)) return FALSE;
    std::copy(path.begin(), path.end(), out);
    out[path.size()] = 0;
    return TRUE;
  }, FALSE);
}

int tlxRcdEnumFiles(char16_t* out, int flags) {
  RcdStore& store = rcdStore();
  if (out == nullptr) {
    store.enumeration.reset();
    return 0;
  }
  return guarded([&]() -> int {
    if (!store.enumeration) {
      const std::u16string& folder = rcdFolder();
      if (folder.size() + 1 > static_cast<size_t>(kRcdMaxPath)) {
        failWith(kRcdErrPath);
        return -1;
      }
      store.enumeration = rcdListNames(folder);
      store.next = 0;
    }
    while (store.next < store.enumeration->size()) {
      const std::u16string path = rcdPathOf((*store.enumeration)[store.next++]);
      if (path.empty()) continue;  // 260 characters or more
      if ((flags & kRcdEnumCheckHeader) != 0 && !headerPasses(path)) continue;
      std::copy(path.begin(), path.end(), out);
      out[path.size()] = 0;
      return 1;
    }
    store.enumeration.reset();
    return 0;
  }, -1);
}

RcdHandle tlxRcdOpenRead(const char16_t* nameOrPath) {
  return guarded([&] { return openFile<RcdReader>(nameOrPath, false); }, nullptr);
}

RcdHandle tlxRcdOpenWrite(const char16_t* nameOrPath) {
  return guarded([&] { return openFile<RcdWriter>(nameOrPath, true); }, nullptr);
}

void tlxRcdClose(RcdHandle handle) { delete static_cast<RcdFile*>(handle); }

int tlxRcdSetOption(RcdHandle handle, const char* option) {
  if (handle == nullptr || option == nullptr) {
    failWith(kRcdErrArgument);
    return -1;
  }
  return guarded([&] {
    RcdCodec(rcdStore().codec).applyOption(option);
    succeeded();
    return 0;
  }, -1);
}

BOOL tlxRcdReadHeader(RcdHandle handle, RcdHeaderInfo* info) {
  RcdReader* reader = readerOf(handle);
  if (reader == nullptr || info == nullptr) return failWith(kRcdErrArgument);
  std::memset(info, 0, sizeof *info);
  return guarded([&]() -> BOOL {
    if (!reader->readHeader()) return failWith(reader->lastError());
    const RcdHeaderValues& v = reader->values();
    info->version = reader->version();
    info->name = v.name.c_str();
    info->type = v.type.c_str();
    info->description = v.description.c_str();
    info->makeId = v.makeId.c_str();
    info->makeName = v.makeName.c_str();
    info->encoding = v.encoding.c_str();
    info->guid = v.guid.c_str();
    return succeeded();
  }, FALSE);
}

BOOL tlxRcdReadCode(RcdHandle handle, RcdCodeRecord* record) {
  RcdReader* reader = readerOf(handle);
  if (reader == nullptr || record == nullptr) return failWith(kRcdErrArgument);
  if (record->size < static_cast<int32_t>(sizeof(RcdCodeRecord))) return failWith(kRcdErrRecordSize);
  return guarded([&]() -> BOOL {
    std::string key;
    std::u16string label;
    std::string text;
    if (!reader->readEntry(key, label, text)) return failWith(reader->lastError());
    std::vector<uint8_t> code = RcdCodec(rcdStore().codec).decode(text, reader->values().encoding);
    if (code.size() > static_cast<size_t>(kRcdMaxCode)) return failWith(kRcdErrTooLong);
    std::memset(record->key, 0, sizeof record->key);
    std::memset(record->label, 0, sizeof record->label);
    std::memset(record->code, 0, sizeof record->code);
    std::memcpy(record->key, key.data(), key.size());
    std::copy(label.begin(), label.end(), record->label);
    if (!code.empty()) std::memcpy(record->code, code.data(), code.size());
    record->length = static_cast<int32_t>(code.size());
    return succeeded();
  }, FALSE);
}

BOOL tlxRcdGetChecksumStatus(RcdHandle handle, RcdChecksumStatus* status) {
  RcdReader* reader = readerOf(handle);
  if (reader == nullptr || status == nullptr) return failWith(kRcdErrArgument);
  return guarded([&]() -> BOOL {
    return reader->readChecksum(*status) ? succeeded() : failWith(reader->lastError());
  }, FALSE);
}

BOOL tlxRcdWriteHeader(RcdHandle handle, const RcdHeaderInput* input) {
  RcdWriter* writer = writerOf(handle);
  if (writer == nullptr || input == nullptr) return failWith(kRcdErrArgument);
  return guarded([&]() -> BOOL {
    RcdHeaderValues v = writer->values();
    if (input->name) v.name = input->name;
    if (input->type) v.type = input->type;
    if (input->description) v.description = input->description;
    if (input->makeId) v.makeId = input->makeId;
    if (input->makeName) v.makeName = input->makeName;
    if (input->guid) v.guid = input->guid;
    v.encoding = input->encoding ? input->encoding : RcdCodec(rcdStore().codec).encodingName();
    if (v.name.empty() || v.type.empty()) return failWith(kRcdErrArgument);
    writer->values() = v;
    return writer->writeHeader() ? succeeded() : failWith(writer->lastError());
  }, FALSE);
}

BOOL tlxRcdWriteCode(RcdHandle handle, const RcdCodeRecord* record) {
  RcdWriter* writer = writerOf(handle);
  if (writer == nullptr || record == nullptr) return failWith(kRcdErrArgument);
  if (record->size < static_cast<int32_t>(sizeof(RcdCodeRecord))) return failWith(kRcdErrRecordSize);
  if (record->length < 0) return failWith(kRcdErrArgument);
  if (record->length > kRcdMaxCode || !isWritableKey(record->key)) return failWith(kRcdErrTooLong);
  return guarded([&]() -> BOOL {
    std::string text;
    if (!RcdCodec(rcdStore().codec).encode(record->code, static_cast<size_t>(record->length), text)) {
      return failWith(kRcdErrTooLong);  // more than a seal holds
    }
    std::u16string label(record->label, unitsWithin(record->label, kRcdMaxLabel));
    std::string key(record->key, strnlen(record->key, sizeof record->key));
    return writer->writeEntry(key, label, text) ? succeeded() : failWith(writer->lastError());
  }, FALSE);
}

BOOL tlxRcdWriteChecksum(RcdHandle handle, const int* flags) {
  RcdWriter* writer = writerOf(handle);
  if (writer == nullptr || flags == nullptr) return failWith(kRcdErrArgument);
  return guarded([&]() -> BOOL {
    return writer->writeChecksum((*flags & kRcdWriteChecksumLine) != 0) ? succeeded()
                                                                         : failWith(writer->lastError());
  }, FALSE);
}

int tlxRcdGetLastError() { return rcdStore().lastError; }

}  // extern "C"

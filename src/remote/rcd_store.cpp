#include "rcd_store.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "remote/data/utf_text.h"
#include "remote/rcd_access.h"
#include "win32/paths.h"

RcdStore& rcdStore() {
  static RcdStore store;
  return store;
}

const std::u16string& rcdFolder() {
  RcdStore& store = rcdStore();
  if (store.folder == u"<default>") {
    std::string shared = tlx::win32::EnvironmentValue("ALLUSERSPROFILE");
    store.folder = shared.empty() ? std::u16string() : tlxUtf16Of(shared + "/TL/RC_DATA/");
  }
  return store.folder;
}

bool rcdIsBareName(const std::u16string& name) { return name.find_first_of(u"/:\\") == std::u16string::npos; }

std::u16string rcdJoinedPath(const std::u16string& name) {
  const std::u16string& folder = rcdFolder();
  if (!rcdIsBareName(name) || folder.empty()) return name;
  bool separated = folder.back() == u'/' || folder.back() == u'\\';
  return folder + (separated ? u"" : u"/") + name;
}

std::u16string rcdPathOf(const std::u16string& name) {
  std::u16string path = rcdJoinedPath(name);
  if (path.size() + 1 > static_cast<size_t>(kRcdMaxPath)) return {};
  return path;
}

std::vector<std::u16string> rcdListNames(const std::u16string& folder) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  const std::string native = folder.empty() ? "." : tlx::win32::NativePath(tlxUtf8Of(folder));
  std::error_code error;
  for (fs::directory_iterator it(native, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    std::error_code typeError;
    if (!it->is_regular_file(typeError) || name.size() < 4) continue;
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    // A name that is not UTF-8 could not be opened again from its UTF-16 form.
    if (extension == ".rcd" && tlxUtf8Of(tlxUtf16Of(name)) == name) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  std::vector<std::u16string> wide;
  for (const std::string& name : names) wide.push_back(tlxUtf16Of(name));
  return wide;
}

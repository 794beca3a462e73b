// The remote-code file store's process-wide state and its folder. Used on the
// user-interface thread only, so nothing here is locked.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "remote/data/rcd_codec.h"

struct RcdStore {
  // "<default>" until the folder is first asked for.
  std::u16string folder = u"<default>";
  // The paths of the running enumeration and the next one to give; none
  // between enumerations.
  std::optional<std::vector<std::u16string>> enumeration;
  size_t next = 0;
  int lastError = 0;
  RcdCodecSettings codec;
};

// The one store of the process.
RcdStore& rcdStore();

// The folder, resolved on first use: the shared data folder of the Windows
// layer (ALLUSERSPROFILE, or its XDG default when unset or empty) followed
// by "/TL/RC_DATA/".
const std::u16string& rcdFolder();

// The path of a name: a name holding '/', ':' or '\' as it is, a bare name in
// the folder, joined with '/' unless the folder ends in '/' or '\' (as it is
// when the folder is empty).
std::u16string rcdJoinedPath(const std::u16string& name);
// The same, empty when it does not fit kRcdMaxPath characters with its
// terminator.
std::u16string rcdPathOf(const std::u16string& name);

// True when the name is a bare file name (no '/', ':' or '\').
bool rcdIsBareName(const std::u16string& name);

// The names of the folder's ".rcd" files (regular files, the extension in
// any case) in byte order; none when the folder cannot be read. An empty
// folder is the current directory.
std::vector<std::u16string> rcdListNames(const std::u16string& folder);

// Where the show's two data files come from: the working directory when it holds either of them,
// else the default content the build made (or the installed copy), or the folder the user names.
#pragma once

#include <string>
#include <vector>

namespace korvana {

// The default content folders, best first: the one installed beside the running program (share/korvana
// next to its bin/, wherever the installation was put), the build's own, then the installed one the
// build was configured for.
std::vector<std::string> defaultDataFolders();

// With `requested` non-empty: changes into it, or false with a message in `error`. Otherwise, when
// the working directory has neither "megadata.rar" nor "ripped.mp3", changes into the first of
// `defaults` that exists; staying put when none does (the show then reports what is missing).
bool enterDataFolder(const std::string& requested, const std::vector<std::string>& defaults, std::string& error);

}  // namespace korvana

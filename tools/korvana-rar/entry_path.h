// How korvana-rar x turns a stored entry name into a path below its output folder.
#pragma once

#include <string>
#include <vector>

namespace korvana::rartool {

// The entry name as path components below the output folder, or false when it would leave it:
// absolute names, drive letters, ".." components and names holding a NUL are refused; "\" is a
// separator like "/"; empty and "." components are dropped. True only with at least one
// component left.
bool relativeComponents(const std::string& name, std::vector<std::string>& components);

}  // namespace korvana::rartool

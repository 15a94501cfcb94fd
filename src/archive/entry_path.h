// How a stored entry name becomes a path below an output folder (korvana-rar x and whatever else
// writes entries out as files).
#pragma once

#include <string>
#include <vector>

namespace korvana {

// The entry name as path components below the output folder, or false when it would leave it:
// absolute names, drive letters, ".." components and names holding a NUL are refused; "\" is a
// separator like "/"; empty and "." components are dropped. True only with at least one
// component left.
bool relativeComponents(const std::string& name, std::vector<std::string>& components);

}  // namespace korvana

// Which entries (or, for a, which files) a command works on: the names and masks given as
// arguments, less the -x masks. Names and masks match as the show looks names up (case-blind,
// with "\", "/" and "_" the same); in a mask "*" stands for any run of characters (folders
// included) and "?" for any one character.
#pragma once

#include <string>
#include <vector>

namespace korvana::rartool {

bool maskMatches(const std::string& mask, const std::string& name);

class Selection {
public:
    // `wanted` empty: everything not excluded. `excluded`: -x values, one mask per line.
    Selection(std::vector<std::string> wanted, const std::string& excluded);

    // Whether `name` is worked on; counts the wanted masks it matches (even when it is then
    // excluded: the mask did match something).
    bool take(const std::string& name);
    bool excluded(const std::string& name) const;
    // The wanted names and masks that matched nothing.
    std::vector<std::string> unmatched() const;
    bool any() const { return !wanted_.empty(); }

private:
    std::vector<std::string> wanted_;
    std::vector<bool> matched_;
    std::vector<std::string> excluded_;
};

}  // namespace korvana::rartool

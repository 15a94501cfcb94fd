// Names and masks of the archive tool's commands.
#include "masks.h"

namespace korvana::rartool {

namespace {

// The form in which the show compares names: upper case, every separator and "_" one character.
char folded(char c) {
    if (c == '\\' || c == '/') return '_';
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c;
}

}  // namespace

bool maskMatches(const std::string& mask, const std::string& name) {
    // Greedy matching with one resumption point: time proportional to the product of the
    // lengths at worst, never exponential, whatever the mask.
    size_t m = 0, n = 0, starAt = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starAt = m++;
            resume = n;
        } else if (m < mask.size() && (mask[m] == '?' || folded(mask[m]) == folded(name[n]))) {
            ++m;
            ++n;
        } else if (starAt != std::string::npos) {
            m = starAt + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') ++m;
    return m == mask.size();
}

Selection::Selection(std::vector<std::string> wanted, const std::string& excluded)
    : wanted_(std::move(wanted)), matched_(wanted_.size(), false) {
    size_t start = 0;
    while (start < excluded.size()) {
        size_t end = excluded.find('\n', start);
        if (end == std::string::npos) end = excluded.size();
        if (end > start) excluded_.push_back(excluded.substr(start, end - start));
        start = end + 1;
    }
}

bool Selection::take(const std::string& name) {
    bool any = wanted_.empty();
    for (size_t i = 0; i < wanted_.size(); ++i) {
        if (maskMatches(wanted_[i], name)) {
            matched_[i] = true;
            any = true;
        }
    }
    return any && !excluded(name);
}

bool Selection::excluded(const std::string& name) const {
    for (const std::string& mask : excluded_)
        if (maskMatches(mask, name)) return true;
    return false;
}

std::vector<std::string> Selection::unmatched() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < wanted_.size(); ++i)
        if (!matched_[i]) names.push_back(wanted_[i]);
    return names;
}

}  // namespace korvana::rartool

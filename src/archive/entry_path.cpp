// Entry names as paths below an output folder.
#include "archive/entry_path.h"

#include <cctype>

namespace korvana {

bool relativeComponents(const std::string& name, std::vector<std::string>& components) {
    components.clear();
    std::string path = name;
    for (char& c : path)
        if (c == '\\') c = '/';
    if (path.empty() || path[0] == '/') return false;
    // A NUL would end the component where the system reads it: "..\0x" passes as a name and
    // opens as "..".
    if (path.find('\0') != std::string::npos) return false;
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0]))) return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string part = path.substr(start, end - start);
        if (part == "..") return false;
        if (!part.empty() && part != ".") components.push_back(part);
        start = end + 1;
    }
    return !components.empty();
}

}  // namespace korvana

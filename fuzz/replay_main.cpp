// Replays inputs through a fuzz target without libFuzzer, for the test suite: each argument is a
// file or a folder of files, fed to the target one at a time. A target reports a fault by
// aborting (or through the sanitizers when they are on); this program only says what ran.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

bool replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::printf("%s (%zu bytes)\n", file.c_str(), bytes.size());
    std::fflush(stdout);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> files;
        std::error_code error;
        if (std::filesystem::is_directory(argv[i], error)) {
            for (const auto& item : std::filesystem::directory_iterator(argv[i]))
                if (item.is_regular_file()) files.push_back(item.path());
        } else {
            files.push_back(argv[i]);
        }
        for (const auto& file : files) {
            if (!replay(file)) return 1;
            ++replayed;
        }
    }
    // A run that replays nothing is a broken set-up, not a pass.
    if (replayed == 0) {
        std::fprintf(stderr, "no inputs replayed\n");
        return 1;
    }
    std::printf("%zu inputs replayed\n", replayed);
    return 0;
}

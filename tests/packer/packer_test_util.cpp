#include "packer_test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

#include <gtest/gtest.h>

#include "archive/archive.h"

namespace korvana::test {

namespace fs = std::filesystem;

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

std::vector<uint8_t> textBytes(size_t n, uint32_t seed) {
    static const char* words[] = {"the", "archive", "of", "and", "window", "a", "to", "decoder", "in",
                                  "scene", "is", "light", "with", "mesh", "texture", "for", "on", "tube",
                                  "that", "music", "frame", "by", "camera", "from", "trail", "as", "it",
                                  "overlay", "table", "length", "distance", "symbol", "channel", "Korvana"};
    std::mt19937 rng(seed);
    std::vector<uint8_t> v;
    v.reserve(n + 16);
    unsigned col = 0;
    while (v.size() < n) {
        // Zipf-like pick: low indices far more often.
        const double u = std::uniform_real_distribution<double>(0, 1)(rng);
        const size_t idx = static_cast<size_t>(std::pow(u, 2.5) * (sizeof words / sizeof *words));
        const std::string w = words[idx];
        v.insert(v.end(), w.begin(), w.end());
        col += static_cast<unsigned>(w.size()) + 1;
        if (col > 70) {
            v.push_back('.');
            v.push_back('\n');
            col = 0;
        } else {
            v.push_back(' ');
        }
    }
    v.resize(n);
    return v;
}

std::vector<uint8_t> audioBytes(size_t frames, unsigned channels, unsigned bytesPerSample, uint32_t seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> noise(0.0, 40.0);
    std::vector<uint8_t> v;
    v.reserve(frames * channels * bytesPerSample);
    for (size_t f = 0; f < frames; ++f) {
        for (unsigned c = 0; c < channels; ++c) {
            const double t = double(f) / 44100.0;
            double s = 6000 * std::sin(2 * M_PI * (220.0 + 110 * c) * t) + 3000 * std::sin(2 * M_PI * 331.0 * t + c) +
                       noise(rng);
            if (bytesPerSample == 2) {
                const int16_t x = static_cast<int16_t>(std::lround(s));
                v.push_back(static_cast<uint8_t>(x & 0xFF));
                v.push_back(static_cast<uint8_t>((x >> 8) & 0xFF));
            } else {
                v.push_back(static_cast<uint8_t>(128 + std::lround(s / 128.0)));
            }
        }
    }
    return v;
}

std::vector<uint8_t> binaryBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> v;
    v.reserve(n + 32);
    uint32_t counter = 0;
    while (v.size() < n) {
        const char tag[4] = {'M', 'E', 'S', char('0' + rng() % 4)};
        v.insert(v.end(), tag, tag + 4);
        for (int k = 0; k < 4; ++k) v.push_back(static_cast<uint8_t>(counter >> (8 * k)));
        ++counter;
        const float f = float(rng() % 1000) / 10.0f;
        uint8_t fb[4];
        std::memcpy(fb, &f, 4);
        v.insert(v.end(), fb, fb + 4);
        const unsigned small = rng() % 16;
        v.push_back(static_cast<uint8_t>(small));
        v.push_back(0);
        if (rng() % 8 == 0)
            for (int k = 0; k < 6; ++k) v.push_back(static_cast<uint8_t>(rng()));
    }
    v.resize(n);
    return v;
}

ScratchDir::ScratchDir() {
    std::string templ = (fs::path(KORVANA_BINARY_DIR) / "packer-test-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

int runCommand(const std::vector<std::string>& args, const fs::path& dir) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        int devnull = open("/dev/null", O_WRONLY);
        if (devnull >= 0) {
            dup2(devnull, 1);
            dup2(devnull, 2);
        }
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

fs::path toolPath() {
    for (const fs::path& p : {fs::path(KORVANA_BINARY_DIR) / "tools" / "korvana-rar",
                             fs::path(KORVANA_BINARY_DIR) / "tools" / "korvana-rar" / "korvana-rar"}) {
        std::error_code ec;
        if (fs::is_regular_file(p, ec)) return p;
    }
    return {};
}

int runTool(const fs::path& dir, const std::vector<std::string>& args) {
    std::vector<std::string> all = {toolPath().string()};
    all.insert(all.end(), args.begin(), args.end());
    return runCommand(all, dir);
}

void writeBytes(const fs::path& p, const std::vector<uint8_t>& d) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(d.data()), static_cast<std::streamsize>(d.size()));
}

bool haveUnar() {
    static const bool have = runCommand({"unar", "-v"}) == 0;
    return have;
}

bool unarExtract(const fs::path& archive, const fs::path& dir, const std::string& password) {
    std::vector<std::string> args = {"unar", "-q", "-f", "-D", "-o", dir.string()};
    if (!password.empty()) {
        args.push_back("-p");
        args.push_back(password);
    }
    args.push_back(archive.string());
    return runCommand(args) == 0;
}

std::vector<uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path extractedPath(const fs::path& dir, const std::string& name) {
    std::string n = name;
    for (char& c : n)
        if (c == '\\') c = '/';
    return dir / n;
}

bool readerExtract(const fs::path& archive, const std::string& name, const std::string& password,
                   std::vector<uint8_t>* data) {
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    const int ok = archiveExtract(&buffer, &size, name.c_str(), archive.string().c_str(), password.c_str());
    if (ok) data->assign(buffer, buffer + size);
    std::free(buffer);
    return ok == 1;
}

void expectRoundTrip(const std::vector<PackInput>& files, const PackOptions& opt, const std::string& label) {
    SCOPED_TRACE(label);
    ScratchDir dir;
    const fs::path archive = dir.path() / "t.rar";
    std::string error;
    ASSERT_TRUE(writeArchive(archive.string(), files, opt, &error)) << error;
    // Inputs packed from a file are compared with that file.
    const auto want = [](const PackInput& f) { return f.path.empty() ? f.data : readFile(f.path); };
    for (const PackInput& f : files) {
        std::vector<uint8_t> data;
        EXPECT_TRUE(readerExtract(archive, f.name, opt.password, &data)) << "archiveExtract failed on " << f.name;
        EXPECT_TRUE(data == want(f)) << f.name << " differs after archiveExtract (" << data.size() << " bytes)";
    }
    if (!haveUnar()) GTEST_SKIP() << "unar is not installed";
    const fs::path out = dir.path() / "out";
    fs::create_directories(out);
    ASSERT_TRUE(unarExtract(archive, out, opt.password)) << "unar failed on " << label;
    for (const PackInput& f : files) {
        const fs::path p = extractedPath(out, f.name);
        ASSERT_TRUE(fs::exists(p)) << f.name << " missing after unar";
        EXPECT_TRUE(readFile(p) == want(f)) << f.name << " differs after unar";
    }
}

}  // namespace korvana::test

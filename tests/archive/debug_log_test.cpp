// The debug log: header, entry format, lifetime across calls, and where it refuses to write.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <chrono>
#include <thread>

#include "archive_test_support.h"

namespace korvana::test {
namespace {

// "(executable compiled on Mmm dd yyyy at hh:mm:ss)", as __DATE__ and __TIME__ spell them.
bool isBuildStampLine(const std::string& line) {
    const std::string head = "(executable compiled on ";
    if (line.size() != head.size() + 11 + 4 + 8 + 1 || line.compare(0, head.size(), head) != 0) return false;
    const std::string date = line.substr(head.size(), 11);
    const std::string time = line.substr(head.size() + 15, 8);
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    return std::isupper(static_cast<unsigned char>(date[0])) && std::islower(static_cast<unsigned char>(date[1])) &&
           date[3] == ' ' && (date[4] == ' ' || digit(date[4])) && digit(date[5]) && date[6] == ' ' &&
           digit(date[7]) && digit(date[10]) && line.substr(head.size() + 11, 4) == " at " && digit(time[0]) &&
           digit(time[1]) && time[2] == ':' && time[5] == ':' && digit(time[7]) && line.back() == ')';
}

// " %8u ms (line N in FILE):": returns the milliseconds, or -1 when the line has another form.
long stampMilliseconds(const std::string& line, const std::string& lineAndFile) {
    if (line.size() < 13 || line[0] != ' ' || line.compare(9, 4, " ms ") != 0) return -1;
    if (line.substr(13) != "(" + lineAndFile + "):") return -1;
    const std::string field = line.substr(1, 8);
    const size_t first = field.find_first_not_of(' ');
    if (first == std::string::npos) return -1;
    for (size_t i = first; i < field.size(); ++i)
        if (field[i] < '0' || field[i] > '9') return -1;
    return std::stol(field.substr(first));
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::string line;
    std::istringstream in(text);
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

TEST(DebugLog, HeaderAndEntryFormat) {
    TempDir dir;
    const std::filesystem::path log = startFreshLog(dir);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    debugLog("first message", "/some/folder/extract.cpp", 123);
    KORVANA_LOGF("value %u and %s", 42u, std::string(700, 'x').c_str());

    const std::vector<std::string> l = lines(readText(log));
    ASSERT_EQ(l.size(), 8u);
    EXPECT_EQ(l[0], "Debug log of Orvika's Quellvarin");
    EXPECT_EQ(l[1], "~^~~~~~~~~~~~~~~~~~~~~~~~~~~~~^~");
    EXPECT_TRUE(isBuildStampLine(l[2])) << l[2];
    EXPECT_EQ(l[3], "");
    // Measured from the creation of the log, not from the entry.
    EXPECT_GE(stampMilliseconds(l[4], "line 123 in extract.cpp"), 50) << l[4];
    EXPECT_EQ(l[5], "              - first message");
    EXPECT_EQ(l[6].find(" ms (line "), 9u) << l[6];
    EXPECT_NE(l[6].find(" in debug_log_test.cpp):"), std::string::npos) << l[6];
    EXPECT_EQ(l[7], "              - value 42 and " + std::string(700, 'x'));  // no length limit

    // A new log truncates the old one and starts with a new header.
    debugLogInit(log.c_str());
    debugLog("again", "x.cpp", 1);
    const std::vector<std::string> again = lines(readText(log));
    ASSERT_EQ(again.size(), 6u);
    EXPECT_EQ(again[0], "Debug log of Orvika's Quellvarin");
    EXPECT_EQ(again[5], "              - again");
}

TEST(DebugLog, NeverWrittenThroughALinkOrIntoAMissingFolder) {
    TempDir dir;
    startFreshLog(dir);
    const std::filesystem::path target = dir / "precious.txt";
    writeFileBytes(target, Bytes{'k', 'e', 'e', 'p'});
    const std::filesystem::path link = dir / "linked_log.txt";
    std::filesystem::create_symlink(target, link);
    debugLogInit(link.c_str());
    debugLog("must not arrive", "x.cpp", 1);
    EXPECT_EQ(readText(target), "keep");

    // Created, then replaced by a link: entries do not follow it either.
    const std::filesystem::path log = dir / "later_link.txt";
    debugLogInit(log.c_str());
    std::filesystem::remove(log);
    std::filesystem::create_symlink(target, log);
    debugLog("must not arrive", "x.cpp", 1);
    EXPECT_EQ(readText(target), "keep");

    // A FIFO at the path neither blocks nor receives lines.
    const std::filesystem::path fifo = dir / "fifo_log";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    debugLogInit(fifo.c_str());
    debugLog("must not block", "x.cpp", 1);

    const std::filesystem::path missing = dir / "missing" / "debug_unrar.txt";
    debugLogInit(missing.c_str());
    std::filesystem::create_directory(dir / "missing");
    debugLog("too late", "x.cpp", 1);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

// The first extraction of a process creates the log, later ones append; each runs in a fresh
// process (the first-call flag lives for the whole process).
TEST(DebugLogDeathTest, CreatedByTheFirstExtractionOnly) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // std::exit skips destructors: the folder goes with the inner scope, before the exit.
    EXPECT_EXIT(
        {
            const bool ok = [] {
                TempDir dir;
                const std::filesystem::path log = dir / "debug_unrar.txt";
                writeFileBytes(log, Bytes(100, 'o'));  // an old run's log
                setDebugLogPath(log.c_str());
                uint8_t* buffer = nullptr;
                uint32_t size = 0;
                archiveExtract(&buffer, &size, "a", (dir / "none.rar").c_str(), "");
                archiveExtract(&buffer, &size, "b", (dir / "none.rar").c_str(), "");
                const std::string text = readText(log);
                const bool oneHeader = text.find("Debug log") == 0 && text.find("Debug log", 1) == std::string::npos;
                const bool old = text.find("ooo") != std::string::npos;
                const std::vector<std::string> m = logMessages(log);
                const bool entries = m.size() == 6 && m[0] == "Extracting >a< from >" + (dir / "none.rar").string() +
                                                                  "< (password is ><)..." &&
                                     m[1] == "Error opening file." && m[3] == "Extracting >b< from >" +
                                                                                  (dir / "none.rar").string() +
                                                                                  "< (password is ><)...";
                return oneHeader && !old && entries;
            }();
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(DebugLogDeathTest, MissingFolderAtTheFirstExtractionMeansNoLogAllRun) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const bool ok = [] {
                TempDir dir;
                const std::filesystem::path log = dir / "later" / "debug_unrar.txt";
                setDebugLogPath(log.c_str());
                uint8_t* buffer = nullptr;
                uint32_t size = 0;
                archiveExtract(&buffer, &size, "a", (dir / "none.rar").c_str(), "");
                std::filesystem::create_directory(dir / "later");
                archiveExtract(&buffer, &size, "b", (dir / "none.rar").c_str(), "");
                return !std::filesystem::exists(log);
            }();
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(DebugLogDeathTest, NoPathMeansNoLog) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            const bool ok = [] {
                TempDir dir;
                const std::filesystem::path cwd = std::filesystem::current_path();
                std::filesystem::current_path(dir.path());
                uint8_t* buffer = nullptr;
                uint32_t size = 0;
                archiveExtract(&buffer, &size, "a", "none.rar", "");
                const bool empty = std::filesystem::is_empty(dir.path());
                std::filesystem::current_path(cwd);
                return debugLogPath() == nullptr && empty;
            }();
            std::exit(ok ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace korvana::test

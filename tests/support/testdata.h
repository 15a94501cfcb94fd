// Where the outside test data lives (../shared/testdata beside the repository) and how a test
// that needs it skips cleanly in a clone that lacks it.
#pragma once

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

namespace korvana::test {

inline std::filesystem::path testdataDir() { return KORVANA_TESTDATA_DIR; }

inline bool haveTestdata() { return std::filesystem::is_directory(testdataDir()); }

}  // namespace korvana::test

// Skips the current test when the shared test data folder is absent.
#define KORVANA_REQUIRE_TESTDATA()                                                            \
    do {                                                                                     \
        if (!::korvana::test::haveTestdata())                                                \
            GTEST_SKIP() << "shared test data not found at " << KORVANA_TESTDATA_DIR         \
                         << " (it exists only beside the repository in the workplace)";     \
    } while (0)

// The capture's hand-over between the drawing thread and the writer's thread: every picture
// reaches the writer once and in order, jobs keep their place among the pictures, and the
// writer's first failure stops everything after it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "capture/picture_pipeline.h"

namespace korvana {
namespace {

constexpr size_t kBytes = 64;

void stamp(uint8_t* picture, int64_t number) {
    std::memset(picture, 0xA5, kBytes);  // what a picture left over from another would still show
    std::memcpy(picture, &number, sizeof number);
}

int64_t stampOf(const uint8_t* picture) {
    int64_t number = 0;
    std::memcpy(&number, picture, sizeof number);
    return number;
}

TEST(PicturePipeline, EveryPictureOnceInOrderWithJobsInTheirPlace) {
    std::vector<int64_t> seen;  // only touched on the worker until it is joined
    std::vector<size_t> seenAtJob;
    {
        PicturePipeline pipeline(
            kBytes, 2,
            [&](const uint8_t* picture, std::string&) {
                seen.push_back(stampOf(picture));
                if (seen.size() % 7 == 0) std::this_thread::yield();  // let the queue fill now and then
                return true;
            },
            "test-writer");
        std::string error;
        for (int64_t k = 0; k < 500; ++k) {
            uint8_t* buffer = pipeline.acquire();
            ASSERT_NE(buffer, nullptr);
            stamp(buffer, k);
            pipeline.submit();
            if (k == 99 || k == 350) {
                ASSERT_TRUE(pipeline.run(
                    [&](std::string&) {
                        seenAtJob.push_back(seen.size());
                        return true;
                    },
                    error))
                    << error;
            }
        }
        // The last pictures are still queued here; stopping the pipeline writes them first.
    }
    ASSERT_EQ(seen.size(), 500u);
    for (int64_t k = 0; k < 500; ++k) ASSERT_EQ(seen[size_t(k)], k);
    EXPECT_EQ(seenAtJob, (std::vector<size_t>{100, 351}));
}

TEST(PicturePipeline, TheFirstFailureStopsEverythingAfterIt) {
    std::vector<int64_t> seen;
    PicturePipeline pipeline(
        kBytes, 3,
        [&](const uint8_t* picture, std::string& error) {
            seen.push_back(stampOf(picture));
            if (seen.size() == 10) {
                error = "disk full";
                return false;
            }
            return true;
        },
        "test-writer");
    // The drawing side keeps going until it hears of the failure, which it must within the
    // queue's depth and then for good.
    int64_t submitted = 0;
    while (uint8_t* buffer = pipeline.acquire()) {
        stamp(buffer, submitted++);
        pipeline.submit();
        ASSERT_LT(submitted, 1000);
    }
    EXPECT_EQ(pipeline.acquire(), nullptr);
    EXPECT_GE(submitted, 10);
    EXPECT_EQ(pipeline.failure(), "disk full");
    EXPECT_EQ(pipeline.picturesDone(), 9);

    bool ran = false;
    std::string error;
    EXPECT_FALSE(pipeline.run(
        [&](std::string&) {
            ran = true;
            return true;
        },
        error));
    EXPECT_EQ(error, "disk full");
    EXPECT_FALSE(ran);
    EXPECT_EQ(seen.size(), 10u);  // nothing after the failing picture reached the writer
    for (size_t k = 0; k < seen.size(); ++k) EXPECT_EQ(seen[k], int64_t(k));
}

}  // namespace
}  // namespace korvana

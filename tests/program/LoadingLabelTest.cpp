#include "engine/loop/LoaderThread.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>

namespace {

class LoadingLabel : public ::testing::Test {
protected:
    void SetUp() override {
        resetLoadingAnimation();
        setLoadingAnimationRandom([this] {
            const int v = randoms.empty() ? 0 : randoms.front();
            if (!randoms.empty()) randoms.pop_front();
            return v;
        });
        std::memset(buffer, 0, sizeof buffer);
    }
    void TearDown() override { setLoadingAnimationRandom(nullptr); }

    std::deque<int> randoms;
    char buffer[80];
};

TEST_F(LoadingLabel, PickingABlankChangesNothing) {
    randoms = {7}; // "Loading please wait"[7] is a blank
    animateLoadingLabel(buffer, 16.0f);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_FALSE(loadingAnimationState().rolling);
    EXPECT_EQ(loadingAnimationState().accumulated, 16.0f);
}

TEST_F(LoadingLabel, ALetterRollsUpEveryTwentyMillisecondsAndIsReleasedAfterArriving) {
    randoms = {0, 29}; // 'L' starts 29 codes below itself
    animateLoadingLabel(buffer, 5.0f);
    EXPECT_TRUE(loadingAnimationState().rolling);
    EXPECT_EQ(buffer[0], 'L' - 29);
    EXPECT_STREQ(buffer + 1, "oading please wait");

    animateLoadingLabel(buffer, 19.0f); // not yet 20 ms
    EXPECT_EQ(buffer[0], 'L' - 29);
    for (int step = 1; step <= 29; ++step) {
        animateLoadingLabel(buffer, step == 1 ? 1.0f : 20.0f);
        EXPECT_EQ(buffer[0], 'L' - 29 + step);
    }
    EXPECT_STREQ(buffer, "Loading please wait");
    EXPECT_TRUE(loadingAnimationState().rolling);
    animateLoadingLabel(buffer, 20.0f); // the 30th step releases it
    EXPECT_FALSE(loadingAnimationState().rolling);
}

TEST_F(LoadingLabel, IndexWrapsAtTheMessageLength) {
    randoms = {19 + 2, 0}; // index 2: 'a', no offset
    animateLoadingLabel(buffer, 1.0f);
    EXPECT_EQ(loadingAnimationState().rollPosition, 2);
    EXPECT_STREQ(buffer, "Loading please wait");
}

} // namespace

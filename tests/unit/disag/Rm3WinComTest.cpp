#include "Rm3WinCom.h"
#include "Rm3Com.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using namespace std::chrono_literals;

TEST(DisagPruefzeichen, XorOfTheBytesRaisedBy32BelowASpace) {
    EXPECT_EQ(Rm3WinCheckChar("TYP"), 0x5D);
    EXPECT_EQ(Rm3WinCheckChar(""), 0x20);     // 0 is raised
    EXPECT_EQ(Rm3WinCheckChar("A"), 'A');     // printable values stay
    EXPECT_EQ(Rm3WinCheckChar("AB"), 0x23);   // 0x03 is raised
    EXPECT_EQ(Rm3WinCheckChar("\xE4"), 0x04); // negative as a signed byte: raised and cut to 8 bits
    EXPECT_EQ(Rm3WinCheckChar("\x7F"), 0x7F);
}

TEST(DisagSchuss, NumberRingValueAndStatusFromTheLine) {
    const struct {
        const char* line;
        TRm3WinEditShot shot;
    } faelle[] = {
        {"SCH=12;9.8;123.4;90.0;G", {12, "9.8", 'U'}},
        {"SCH=12;9.8;123.4;90.0;F", {12, "9.8", 'V'}},
        {"SCH=x;9.8", {10, "9.8", 'V'}}, // not a number: 10, not 0
        {"SCH=;10.9;G", {10, "10.9", 'U'}},
        {"SCH=7", {7, "", 'V'}}, // no ";": empty ring value
        {"SCH=", {10, "", 'V'}},
        {"SCH=3;;", {3, "", 'V'}},
        {"SCH= 4;1", {4, "1", 'V'}},
        {"SCH=99999999999;1", {10, "1", 'V'}},
    };
    for (const auto& f : faelle)
        EXPECT_EQ(Rm3WinEditShotFromLine(f.line), f.shot) << f.line;
}

TEST(DisagZeitwache, FiresOnceAfterTheLimitUnlessEndedBefore) {
    std::mutex mutex;
    std::condition_variable cv;
    int fired = 0;
    const auto callback = [&] {
        std::lock_guard lock(mutex);
        ++fired;
        cv.notify_all();
    };
    {
        TTimeoutThread watch(30ms, callback);
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return fired > 0; }));
    }
    EXPECT_EQ(fired, 1);

    // Ended long before its limit: the end is immediate and nothing fires.
    const auto start = std::chrono::steady_clock::now();
    { TTimeoutThread watch(1h, callback); }
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(fired, 1);
}

} // namespace

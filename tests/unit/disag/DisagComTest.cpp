#include "DisagCom.h"
#include "DisagRm3FernCom.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using namespace std::chrono_literals;

// The real lines from the facts with their check characters, and the command the program sends.
TEST(DisagPruefzeichen, XorOfTheTextRaisedBy32BelowASpace) {
    EXPECT_EQ(DisagCheckChar("WSE"), 'A');
    EXPECT_EQ(DisagCheckChar("STA"), 'F');
    EXPECT_EQ(DisagCheckChar("SCH=1;7.2;2973.0;164.7;G"), '#'); // 0x03 raised
    EXPECT_EQ(DisagCheckChar("TYP"), 0x5D);
    EXPECT_EQ(DisagCheckChar(""), 0x20);
    EXPECT_EQ(DisagCheckChar("\x7F"), 0x7F);
    EXPECT_EQ(DisagCheckChar("\xED"), 0xED); // not raised: 0xED + 32 would be CR

    const struct {
        std::string line; // text and check character
        bool intact;
    } zeilen[] = {
        {"WSEA", true},
        {"STAF", true},
        {"SCH=1;7.2;2973.0;164.7;G#", true},
        {"SCH=1;7.3;2973.0;164.7;G#", false}, // a digit changed on the line
        {"SCH=1;7.2;2973.0;164.7;F#", false},
        {"WSE\x01", false}, // the XOR itself, not raised
        {"\xE4\xE4", true}, // a text whose XOR is 0x80 or above: either rule
        {"\xE4\x04", true},
        {"\x7F\x9F", false}, // below 0x80: only the one rule
        {"A", false},        // a check character alone: the empty text's is a blank
        {" ", true},
    };
    for (const auto& z : zeilen)
        EXPECT_EQ(DisagLineIntact(z.line), z.intact) << z.line;
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

#include "Trennzeichen.h"

#include <gtest/gtest.h>

TEST(Trennzeichen, EachCodeWritesItsBytes) {
    EXPECT_EQ(trennzeichenBytes(0), std::string_view("\0", 1));
    EXPECT_EQ(trennzeichenBytes(10), "\n");
    EXPECT_EQ(trennzeichenBytes(13), "\r");
    EXPECT_EQ(trennzeichenBytes(255), "\xFF");
    EXPECT_EQ(trennzeichenBytes(TrennCrLf), "\r\n");
    EXPECT_EQ(trennzeichenBytes(TrennKeins), "");
    EXPECT_EQ(trennzeichenBytes(-1), ""); // codes of a damaged profile write nothing
    EXPECT_EQ(trennzeichenBytes(258), "");
}

TEST(Trennzeichen, ListHasOneRowPerCodeInCodeOrder) {
    const auto zeilen = trennzeichenliste();
    ASSERT_EQ(zeilen.size(), 258u);
    EXPECT_EQ(zeilen[0], (TrennzeichenZeile{"nul", "0", "0x00", ""}));
    EXPECT_EQ(zeilen[12][0], "np");
    EXPECT_EQ(zeilen[13][0], "Return");
    EXPECT_EQ(zeilen[27][0], "Escape");
    EXPECT_EQ(zeilen[32], (TrennzeichenZeile{"Space", "32", "0x20", ""}));
    EXPECT_EQ(zeilen[59], (TrennzeichenZeile{";", "59", "0x3b", ""}));
    EXPECT_EQ(zeilen[255], (TrennzeichenZeile{"\xFF", "255", "0xff", ""}));
    EXPECT_EQ(zeilen[256], (TrennzeichenZeile{"Windows-Linefeed", "13 + 10", "0x0d + 0x0a", ""}));
    EXPECT_EQ(zeilen[257], (TrennzeichenZeile{"kein Trennzeichen", "", "", ""}));
    for (int c = 33; c < 256; ++c)
        EXPECT_EQ(zeilen[static_cast<std::size_t>(c)][0], std::string(1, static_cast<char>(c)));
}

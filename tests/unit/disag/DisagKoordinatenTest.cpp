// The Disag coordinates against an independent reference, over every divisor from 0.0 to 9999.9 at
// every half degree from 0 to 359.5.
//
// Reference: __float128 (113-bit mantissa) with libquadmath. The cosine and sine of each grid
// angle are computed once with cosq/sinq; each coordinate is then d * f / 10 in quad precision,
// off from the exact value by far less than 1e-25. Where f is rational (the angle is a multiple of
// 30 degrees and f is 0, +-1/2 or +-1), the reference uses the exact fraction instead. A quad
// value closer than 1e-20 to an integer cannot be decided this way and counts as a failure.
//
// This file is always optimised. Without sanitizers it runs the whole grid (1.44e8 coordinates,
// about 11 s); with them a sample of every angle and every seventh divisor (about 3 s), unless
// TREFFLUX_VOLLES_RASTER is set (then well under a minute).

#include "DisagDaten.h"

#include <gtest/gtest.h>

#include <quadmath.h>

#include <cstdint>
#include <cstdlib>
#include <sstream>

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// One factor (cosine or sine) of a grid angle: exact as halves when rational.
struct Referenzfaktor {
    bool rational;
    int halbe;
    __float128 zehntel; // f / 10
};

Referenzfaktor referenz(__float128 f, bool vielfachesVon30) {
    const __float128 zweifach = 2 * f;
    const __float128 gerundet = roundq(zweifach);
    if (vielfachesVon30 && fabsq(zweifach - gerundet) < static_cast<__float128>(1e-30))
        return {true, static_cast<int>(gerundet), 0};
    return {false, 0, f / 10};
}

struct Ergebnis {
    int32_t wert;
    bool entscheidbar;
};

Ergebnis erwartet(int32_t d, const Referenzfaktor& f) {
    if (f.rational)
        return {static_cast<int32_t>(static_cast<int64_t>(d) * f.halbe / 20), true};
    if (d == 0)
        return {0, true};
    const __float128 v = d * f.zehntel;
    const __float128 abgeschnitten = truncq(v);
    const __float128 rest = fabsq(v - abgeschnitten);
    const __float128 grenze = 1e-20;
    return {static_cast<int32_t>(abgeschnitten), rest > grenze && rest < 1 - grenze};
}

} // namespace

TEST(DisagKoordinaten, MatchTheQuadPrecisionReferenceOverTheWholeGrid) {
    const bool ganz = !kSanitized || std::getenv("TREFFLUX_VOLLES_RASTER") != nullptr;
    const int32_t schritt = ganz ? 1 : 7;
    long geprueft = 0, falsch = 0, unentscheidbar = 0;
    std::ostringstream beispiele;
    // Pi to 36 digits (the Q suffix of M_PIq needs the GNU dialect).
    const __float128 pi = strtoflt128("3.14159265358979323846264338327950288", nullptr);
    for (int halbgrad = 0; halbgrad < 720; ++halbgrad) {
        const float winkel = static_cast<float>(halbgrad) * 0.5f; // exact
        const __float128 bogen = static_cast<__float128>(winkel) * pi / 180;
        const bool vielfaches = halbgrad % 60 == 0;
        const Referenzfaktor c = referenz(cosq(bogen), vielfaches);
        const Referenzfaktor s = referenz(sinq(bogen), vielfaches);
        for (int32_t d = 0; d <= 99999; d += schritt) {
            const auto [x, y] = DisagDaten::koordinaten(d, winkel);
            const Ergebnis ex = erwartet(d, c), ey = erwartet(d, s);
            geprueft += 2;
            unentscheidbar += !ex.entscheidbar + !ey.entscheidbar;
            if (x != ex.wert || y != ey.wert) {
                if (++falsch <= 10)
                    beispiele << "\n  d=" << d << " angle=" << winkel << ": " << x << ";" << y
                              << ", expected " << ex.wert << ";" << ey.wert;
            }
        }
    }
    std::cout << geprueft << " coordinates checked (" << (ganz ? "whole grid" : "sample") << ")\n";
    EXPECT_EQ(unentscheidbar, 0) << "reference values too close to an integer to decide";
    EXPECT_EQ(falsch, 0) << beispiele.str();
}

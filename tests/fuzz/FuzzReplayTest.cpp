// Replays every seed input and every input that once made a harness fail. A failing check or a
// sanitizer report ends the test.

#include "FuzzHarness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Harness {
    const char* name;
    int (*run)(const uint8_t*, std::size_t);
};

const Harness harnesses[] = {
#ifdef TREFFLUX_HAS_config_file
    {"config_file", fuzzConfigFile},
#endif
#ifdef TREFFLUX_HAS_protokoll
    {"protokoll", fuzzProtokoll},
#endif
#ifdef TREFFLUX_HAS_disag_daten
    {"disag_daten", fuzzDisagDaten},
#endif
#ifdef TREFFLUX_HAS_sam_rika_daten
    {"sam_rika_daten", fuzzSamRikaDaten},
#endif
#ifdef TREFFLUX_HAS_disag_empfang
    {"disag_empfang", fuzzDisagEmpfang},
#endif
};

std::vector<fs::path> eingaben(const fs::path& ordner) {
    std::vector<fs::path> dateien;
    if (fs::is_directory(ordner))
        for (const auto& e : fs::directory_iterator(ordner))
            if (e.is_regular_file())
                dateien.push_back(e.path());
    return dateien;
}

class FuzzReplay : public ::testing::TestWithParam<Harness> {};

TEST_P(FuzzReplay, SeedsAndKeptFailuresPass) {
    const Harness h = GetParam();
    const fs::path root = TREFFLUX_FUZZ_DIR;
    const auto seeds = eingaben(root / "corpus" / h.name);
    EXPECT_FALSE(seeds.empty()) << "no seed corpus for " << h.name;
    auto alle = seeds;
    const auto kept = eingaben(root / "regressions" / h.name);
    alle.insert(alle.end(), kept.begin(), kept.end());
    for (const fs::path& datei : alle) {
        SCOPED_TRACE(datei.string());
        std::ifstream in(datei, std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(h.run(bytes.data(), bytes.size()), 0);
    }
    // The empty input is always a case.
    EXPECT_EQ(h.run(nullptr, 0), 0);
}

INSTANTIATE_TEST_SUITE_P(Harnesses, FuzzReplay, ::testing::ValuesIn(harnesses),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The fuzz harnesses. Each takes any bytes, drives one input path of the program with them and
// checks what must hold whatever the input; a violated check aborts with a message. The same
// functions serve libFuzzer (one fuzzer per harness) and the regression test that replays the
// seed corpora and every input that once failed.
int fuzzConfigFile(const uint8_t* data, std::size_t size);
int fuzzProtokoll(const uint8_t* data, std::size_t size);
int fuzzDisagDaten(const uint8_t* data, std::size_t size);
int fuzzSamRikaDaten(const uint8_t* data, std::size_t size);
int fuzzDisagEmpfang(const uint8_t* data, std::size_t size);

namespace fuzz {

// Aborts with the message when the condition does not hold.
void check(bool condition, const char* what);

// A scratch directory for this process, on a memory file system where there is one; removed
// when the process ends.
const std::string& scratchDir();

} // namespace fuzz

// Defines libFuzzer's entry point for one harness in a fuzzer build.
#ifdef TREFFLUX_LIBFUZZER
#define TREFFLUX_FUZZ_ENTRY(harness)                                                                         \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {                           \
        return harness(data, size);                                                                          \
    }
#else
#define TREFFLUX_FUZZ_ENTRY(harness)
#endif

#include "FuzzHarness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fuzz {

void check(bool condition, const char* what) {
    if (condition)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

namespace {

struct Scratch {
    Scratch() {
        struct stat st {};
        const bool shm =
            ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0;
        std::string vorlage = std::string(shm ? "/dev/shm" : "/tmp") + "/trefflux-fuzz-XXXXXX";
        check(::mkdtemp(vorlage.data()) != nullptr, "cannot create the scratch directory");
        path = vorlage;
        owner = ::getpid();
    }
    ~Scratch() {
        if (::getpid() != owner)
            return; // a forked child leaves the directory to its parent
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string path;
    pid_t owner;
};

} // namespace

const std::string& scratchDir() {
    static const Scratch scratch;
    return scratch.path;
}

} // namespace fuzz

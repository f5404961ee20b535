#include "SerialPortSelect.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A ttyS entry is there for every possible 8250 port; only those where a UART was found have a
// type other than 0 (unknown).
bool uartAnswers(const fs::path& entry) {
    std::ifstream in(entry / "type");
    int type = 0;
    return in >> type && type != 0;
}

int compareNoCase(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace

void SortComPortNames(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(),
                     [](const std::string& a, const std::string& b) { return compareNoCase(a, b) < 0; });
}

void EnumComPorts(std::vector<std::string>& list, const std::string& sysfsRoot) {
    list.clear();
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(sysfsRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path entry = it->path();
        const std::string name = entry.filename().string();
        std::error_code entryError;
        if (!fs::exists(entry / "device", entryError)) // virtual terminals, pseudo-terminals, consoles
            continue;
        if (name.rfind("ttyS", 0) == 0 && !uartAnswers(entry))
            continue;
        names.push_back(name);
    }
    SortComPortNames(names);
    list = std::move(names);
}

#include "SerialPortSelect.h"

#include "ComDevice.h"

#include <algorithm>
#include <cctype>

namespace {

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

void EnumComPorts(std::vector<std::string>& list, const std::string& root) {
    list.clear();
    std::vector<std::string> names = ListComPorts(root);
    SortComPortNames(names);
    list = std::move(names);
}

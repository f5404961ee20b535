#include "SerialPortSelect.h"
#include "ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A fake tty class directory.
class FakeTtyTree {
public:
    FakeTtyTree() : m_root(m_dir.path()) {}
    void add(const std::string& name, bool hasDevice, const char* type = nullptr) {
        fs::create_directories(m_root / name);
        if (hasDevice)
            fs::create_directories(m_root / name / "device");
        if (type)
            std::ofstream(m_root / name / "type") << type << "\n";
    }
    std::string root() const { return m_root.string(); }

private:
    ScratchDir m_dir{"tty"};
    fs::path m_root;
};

TEST(SerialPortSelectTest, SortsAsTextWithoutRegardToCaseKeepingDuplicates) {
    std::vector<std::string> names{"COM3", "COM1", "COM10", "com2", "COM1"};
    SortComPortNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"COM1", "COM1", "COM10", "com2", "COM3"}));
}

TEST(SerialPortSelectTest, ListsTheTtysWithHardwareBehindThem) {
    FakeTtyTree tree;
    tree.add("ttyUSB1", true);
    tree.add("ttyS0", true, "4"); // a 16550A answers
    tree.add("ttyS1", true, "0"); // no UART there
    tree.add("ttyS2", true);      // no type: not counted
    tree.add("ttyACM0", true);
    tree.add("tty1", false); // virtual terminal
    tree.add("ttyUSB0", true);
    std::vector<std::string> list{"stale"};
    EnumComPorts(list, tree.root());
    EXPECT_EQ(list, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyUSB0", "ttyUSB1"}));
}

TEST(SerialPortSelectTest, AMissingDirectoryGivesAnEmptyList) {
    std::vector<std::string> list{"stale"};
    EnumComPorts(list, "/nonexistent/trefflux/tty");
    EXPECT_TRUE(list.empty());
}

} // namespace

// The Linux part of the POSIX serial device: eventfd flags, the driver's counters and modem-line
// wait (TIOCGICOUNT, TIOCMIWAIT), bit rates without a B constant (termios2), and the port list
// from sysfs. Another system gets a file of its own beside this one.
//
// The kernel's termbits header clashes with <termios.h>, which this file therefore never includes.
#include "PosixComDevice.h"

#include <asm/termbits.h>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The signal that interrupts the helper blocked in TIOCMIWAIT; its handler does nothing and is
// installed without SA_RESTART, so the ioctl returns EINTR.
int lineWakeSignal() {
    static const int sig = [] {
        const int s = SIGRTMIN + 6;
        struct sigaction sa {};
        sa.sa_handler = +[](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        ::sigaction(s, &sa, nullptr);
        return s;
    }();
    return sig;
}

// A ttyS entry is there for every possible 8250 port; only those where a UART was found have a
// type other than 0 (unknown).
bool uartAnswers(const fs::path& entry) {
    std::ifstream in(entry / "type");
    int type = 0;
    return in >> type && type != 0;
}

} // namespace

TComFlag::TComFlag() : m_handle(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_handle < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    m_signalHandle = m_handle;
}

bool readLineCounters(int fd, TComLineCounters& c) {
    serial_icounter_struct ic{};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return false;
    c = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun, ic.cts, ic.dsr, ic.dcd, ic.rng};
    return true;
}

int waitModemLines(int fd, int mask) {
    return ::ioctl(fd, TIOCMIWAIT, mask) == 0 ? 0 : errno;
}

void interruptModemLineWait(std::thread& helper) {
    ::pthread_kill(helper.native_handle(), lineWakeSignal());
}

int setCustomBaudRate(int fd, std::uint32_t rate) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    t.c_cflag |= BOTHER << IBSHIFT;
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    if (::ioctl(fd, TCSETS2, &t) != 0)
        return errno;
    return 0;
}

std::vector<std::string> ListComPorts(const std::string& root) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(root.empty() ? "/sys/class/tty" : root, ec), end; !ec && it != end;
         it.increment(ec)) {
        const fs::path entry = it->path();
        const std::string name = entry.filename().string();
        std::error_code entryError;
        if (!fs::exists(entry / "device", entryError)) // virtual terminals, pseudo-terminals, consoles
            continue;
        if (name.rfind("ttyS", 0) == 0 && !uartAnswers(entry))
            continue;
        names.push_back(name);
    }
    return names;
}

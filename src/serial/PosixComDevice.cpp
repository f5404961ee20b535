#include "PosixComDevice.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace {

bool unsupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

// The B constant of each bit rate that has one (POSIX names those up to 38400; the others are
// the system's).
struct TSpeed {
    std::uint32_t rate;
    speed_t speed;
};
constexpr TSpeed Speeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800}, {500000, B500000}, {576000, B576000}, {921600, B921600}, {1000000, B1000000},
#endif
};

speed_t standardSpeed(std::uint32_t rate) {
    for (const TSpeed& s : Speeds)
        if (s.rate == rate)
            return s.speed;
    return B0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Platform entry points

const TComSystemCodes& ComSystemCodes() {
    static constexpr TComSystemCodes codes{EBADF, EIO, ECANCELED, ETIMEDOUT, EINVAL};
    return codes;
}

std::shared_ptr<TComDevice> TComDevice::open(const std::string& portName) {
    // "ttyUSB0" is /dev/ttyUSB0, "pts/4" /dev/pts/4; a name starting with "/" is a path.
    return TPosixComDevice::openPath(!portName.empty() && portName.front() == '/' ? portName
                                                                                  : "/dev/" + portName);
}

// ---------------------------------------------------------------------------------------------
// TComFlag: a descriptor, readable while set (its constructor is the system's: PosixLinux.cpp)

TComFlag::~TComFlag() {
    ::close(static_cast<int>(m_handle));
    if (m_signalHandle != m_handle)
        ::close(static_cast<int>(m_signalHandle));
}

void TComFlag::set() {
    m_isSet.store(true);
    const std::uint64_t one = 1;
    while (::write(static_cast<int>(m_signalHandle), &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void TComFlag::reset() {
    char buf[64]; // a counter is read whole; a pipe until it is empty
    for (ssize_t n; (n = ::read(static_cast<int>(m_handle), buf, sizeof buf)) == sizeof buf ||
                    (n < 0 && errno == EINTR);) {
    }
    m_isSet.store(false);
}

bool TComFlag::waitFor(int timeoutMs) const {
    const TComDeadline deadline = timeoutMs < 0 ? TComDeadline::never() : TComDeadline::in(timeoutMs);
    for (;;) {
        pollfd p{static_cast<int>(m_handle), POLLIN, 0};
        const int n = ::poll(&p, 1, deadline.remainingMs());
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return false;
    }
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

std::shared_ptr<TPosixComDevice> TPosixComDevice::openPath(const std::string& path) {
    std::shared_ptr<TPosixComDevice> dev(new TPosixComDevice); // its flags first: nothing to undo
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), "open");
    auto fail = [fd](int err) {
        ::close(fd);
        throw std::system_error(err, std::generic_category(), "open");
    };
    if (!::isatty(fd))
        fail(ENOTTY);
    // Another port object of this program, or another program, holds the device.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
        fail(errno == EWOULDBLOCK ? EBUSY : errno);
    if (::ioctl(fd, TIOCEXCL) != 0 && !unsupported(errno))
        fail(errno);
    // A port starts with an empty input queue: bytes left over from before it was opened (a late
    // answer to whoever had the port last) answer nothing this program asks.
    ::tcflush(fd, TCIFLUSH);

    dev->m_fd = fd; // the device's own from here on
    int lines = 0;
    dev->m_hasModemLines = ::ioctl(fd, TIOCMGET, &lines) == 0;
    dev->m_hasCounters = readLineCounters(fd, dev->m_errorBase);
    dev->m_eventBase = dev->m_errorBase;
    return dev;
}

TPosixComDevice::~TPosixComDevice() {
    stopEvents();
    if (m_fd >= 0) {
        // Unsent bytes are dropped, so close() never waits for a line held by flow control.
        ::tcflush(m_fd, TCOFLUSH);
        ::close(m_fd);
    }
}

// ---------------------------------------------------------------------------------------------
// Settings

int TPosixComDevice::setLineSettings(const TComDCB& dcb, bool driveLines) {
    termios t{};
    ::cfmakeraw(&t);
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    t.c_cflag &= ~CSIZE;
    switch (dcb.ByteSize) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    switch (dcb.Parity) {
    case prNone:
        break;
    case prOdd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case prEven:
        t.c_cflag |= PARENB;
        break;
#ifdef CMSPAR
    case prMark:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case prSpace:
        t.c_cflag |= PARENB | CMSPAR;
        break;
#else
    case prMark:
    case prSpace:
        return EINVAL; // the system has no mark or space parity
#endif
    }
    if (dcb.fParity)
        t.c_iflag |= INPCK;
    if (dcb.StopBits != sbOneStopBit)
        t.c_cflag |= CSTOPB;
    if (dcb.fOutxCtsFlow || dcb.fRtsControl == rtsHandshake)
        t.c_cflag |= CRTSCTS;
    if (dcb.fOutX)
        t.c_iflag |= IXON;
    if (dcb.fInX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = static_cast<cc_t>(dcb.XonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(dcb.XoffChar);
    t.c_cc[VMIN] = 1; // with O_NONBLOCK: EAGAIN when empty, 0 only at a hang-up
    t.c_cc[VTIME] = 0;

    const speed_t speed = standardSpeed(dcb.BaudRate);
    ::cfsetispeed(&t, speed == B0 ? B38400 : speed);
    ::cfsetospeed(&t, speed == B0 ? B38400 : speed);
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0)
        return errno;
    if (speed == B0) {
        if (int err = setCustomBaudRate(m_fd, dcb.BaudRate))
            return err;
    }

    if (driveLines && m_hasModemLines) {
        const bool dtr = dcb.fDtrControl != dtrDisable;
        const bool rts = dcb.fRtsControl == rtsEnable || dcb.fRtsControl == rtsHandshake;
        int bits = TIOCM_DTR;
        if (::ioctl(m_fd, dtr ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !unsupported(errno))
            return errno;
        bits = TIOCM_RTS;
        if (::ioctl(m_fd, rts ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !unsupported(errno))
            return errno;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Input

TComEvents TPosixComDevice::fill() {
    TComEvents events;
    // One reader at a time, so that chunks enter the queue in the order they were read.
    std::lock_guard fillLock(m_fillMutex);
    if (lost())
        return events;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) { // 0 after readiness is a hang-up; EIO a device that went away
            markLost();
            break;
        }
        events = events | received(buf, static_cast<std::size_t>(n));
        if (n < static_cast<ssize_t>(sizeof buf))
            break;
    }
    return events;
}

TComWoken TPosixComDevice::waitForInput(int timeoutMs, const TStopSignal* stop) {
    pollfd fds[4] = {{lost() ? -1 : m_fd, POLLIN, 0},
                     {static_cast<int>(m_rxReadyFlag.native()), POLLIN, 0},
                     {static_cast<int>(m_abortFlag.native()), POLLIN, 0},
                     {stop ? static_cast<int>(stop->NativeHandle()) : -1, POLLIN, 0}};
    int n;
    while ((n = ::poll(fds, 4, timeoutMs)) < 0 && errno == EINTR) {
    }
    if (n == 0)
        return TComWoken::Timeout;
    if (fds[3].revents)
        return TComWoken::Stopped;
    if (fds[2].revents)
        return TComWoken::Aborted;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        fill(); // keep what arrived before the hang-up
        markLost();
    }
    return TComWoken::Ready;
}

int TPosixComDevice::purgeSystem(bool input, bool output) {
    if ((input || output) && ::tcflush(m_fd, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) != 0)
        return errno;
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Output

TComWoken TPosixComDevice::waitForOutput(int timeoutMs) {
    pollfd fds[2] = {{m_fd, POLLOUT, 0}, {static_cast<int>(m_abortFlag.native()), POLLIN, 0}};
    int n;
    while ((n = ::poll(fds, 2, timeoutMs)) < 0 && errno == EINTR) {
    }
    if (n == 0)
        return TComWoken::Timeout;
    if (fds[1].revents)
        return TComWoken::Aborted;
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL))
        markLost();
    return TComWoken::Ready;
}

int TPosixComDevice::writeBytes(const char* data, std::size_t n, const TComDeadline& deadline,
                                std::size_t& written) {
    while (written < n) {
        const ssize_t w = ::write(m_fd, data + written, n - written);
        if (w > 0) {
            written += static_cast<std::size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const TComWoken woken =
                deadline.passed() ? TComWoken::Timeout : waitForOutput(deadline.remainingMs());
            if (woken == TComWoken::Timeout)
                break;
            if (woken == TComWoken::Aborted)
                return ECANCELED;
            if (lost())
                return EIO;
            continue;
        }
        const int err = w < 0 ? errno : EIO;
        if (err == EIO)
            markLost();
        return err;
    }
    return 0;
}

int TPosixComDevice::outputQueue() {
    int n = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &n) != 0)
        return -1;
    return n;
}

// ---------------------------------------------------------------------------------------------
// Lines and errors

int TPosixComDevice::readModemLines(TComSignals& lines) const {
    int bits = 0;
    if (::ioctl(m_fd, TIOCMGET, &bits) != 0)
        return errno;
    lines = {};
    if (bits & TIOCM_CTS)
        lines.include(csCTS);
    if (bits & TIOCM_DSR)
        lines.include(csDSR);
    if (bits & TIOCM_RNG)
        lines.include(csRing);
    if (bits & TIOCM_CD)
        lines.include(csRLSD);
    return 0;
}

TComErrors TPosixComDevice::countedErrors(TComLineCounters& base) {
    TComErrors errors;
    TComLineCounters c;
    if (!m_hasCounters || !readLineCounters(m_fd, c))
        return errors;
    const bool parityCheck = parityChecked();
    std::lock_guard lock(m_countersMutex);
    if (c.frame != base.frame)
        errors.include(ceFrame);
    if (c.parity != base.parity && parityCheck)
        errors.include(ceRxParity);
    if (c.overrun != base.overrun)
        errors.include(ceOverrun);
    if (c.brk != base.brk)
        errors.include(ceBreak);
    if (c.bufOverrun != base.bufOverrun)
        errors.include(ceRxOver);
    base = c;
    return errors;
}

TComErrors TPosixComDevice::lineErrors() {
    return countedErrors(m_errorBase);
}

TComEvents TPosixComDevice::takeErrorEvents() {
    const TComErrors errors = countedErrors(m_eventBase);
    TComEvents events;
    if (!(errors - TComErrors{ceBreak}).empty())
        events.include(evError);
    if (errors.contains(ceBreak))
        events.include(evBreak);
    return events;
}

// ---------------------------------------------------------------------------------------------
// The event thread's sleep and the modem-line helper

TComDevice::TSlept TPosixComDevice::sleepForEvents(int timeoutMs, TComEvents watched, TComEvents& found) {
    const bool wantInput = !(watched & TComEvents{evRxChar, evRxFlag, evRx80Full, evError, evBreak}).empty();
    pollfd fds[2] = {{lost() ? -1 : m_fd, static_cast<short>(wantInput ? POLLIN : 0), 0},
                     {static_cast<int>(m_wakeFlag.native()), POLLIN, 0}};
    if (::poll(fds, 2, timeoutMs) < 0)
        return errno == EINTR ? TSlept::TimedOut : TSlept::Failed;
    if (fds[0].revents & POLLIN)
        found = fill() | takeErrorEvents();
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
        found = found | fill(); // what arrived before the hang-up
        markLost();
    }
    return (fds[1].revents & POLLIN) ? TSlept::Woken : TSlept::TimedOut;
}

void TPosixComDevice::watchLines(TComEvents watched) {
    int mask = 0;
    if (watched.contains(evCTS))
        mask |= TIOCM_CTS;
    if (watched.contains(evDSR))
        mask |= TIOCM_DSR;
    if (watched.contains(evRLSD))
        mask |= TIOCM_CD;
    if (watched.contains(evRing))
        mask |= TIOCM_RNG;
    TComSignals last;
    modemLines(last);
    TComLineCounters base;
    const bool counters = readLineCounters(m_fd, base);
    bool canWait = true;
    while (!m_lineStopFlag.isSet()) {
        if (canWait) {
            if (const int err = waitModemLines(m_fd, mask)) {
                if (err == EINTR)
                    continue;
                if (unsupported(err)) {
                    canWait = false; // the driver can't wait: look every 50 ms
                    continue;
                }
                break; // the device is gone
            }
        } else if (m_lineStopFlag.waitFor(50)) {
            break;
        }
        if (m_lineStopFlag.isSet())
            break;
        TComSignals now;
        if (modemLines(now) != 0)
            break;
        TComEvents events = ComLineChanges(last, now);
        TComLineCounters count;
        if (counters && readLineCounters(m_fd, count)) {
            // The counters also catch a pulse that is over before the lines are read.
            if (count.cts != base.cts)
                events.include(evCTS);
            if (count.dsr != base.dsr)
                events.include(evDSR);
            if (count.dcd != base.dcd)
                events.include(evRLSD);
            if (count.ring != base.ring)
                events.include(evRing);
            base = count;
        }
        last = now;
        addEvents(events & watched);
    }
}

void TPosixComDevice::interruptLineWatch(std::thread& helper) {
    interruptModemLineWait(helper);
}

#include "PosixComDevice.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The receive queue holds at least this much, whatever Buffer.InputSize says: the kernel's own
// tty buffer is larger than the old default, and a slow handler must not lose bytes to it.
constexpr std::size_t MinQueueCapacity = 64 * 1024;

bool unsupported(int err) {
    return err == ENOTTY || err == EINVAL;
}

void signalFd(int fd) {
    const std::uint64_t one = 1;
    while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void drainFd(int fd) {
    std::uint64_t value;
    while (::read(fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

speed_t standardSpeed(std::uint32_t rate) {
    switch (rate) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    default:
        return B0;
    }
}

} // namespace

bool TPosixComDevice::readCounters(int fd, TCounters& c) {
    serial_icounter_struct ic{};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return false;
    c = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    return true;
}

std::shared_ptr<TPosixComDevice> TPosixComDevice::open(const std::string& path,
                                                       std::shared_ptr<TComLineSimulator> simulator) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw EComPort(ecOpen, errno);
    auto fail = [fd](int err) {
        ::close(fd);
        throw EComPort(ecOpen, err);
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

    std::shared_ptr<TPosixComDevice> dev(new TPosixComDevice);
    dev->m_fd = fd;
    dev->m_abortFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    dev->m_rxReadyFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    dev->m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (dev->m_abortFd < 0 || dev->m_rxReadyFd < 0 || dev->m_wakeFd < 0)
        throw EComPort(ecOpen, errno); // the destructor closes what was opened
    dev->m_simulator = std::move(simulator);

    int lines = 0;
    dev->m_hasModemLines = ::ioctl(fd, TIOCMGET, &lines) == 0;
    dev->m_hasCounters = readCounters(fd, dev->m_errorBase);
    dev->m_eventBase = dev->m_errorBase;
    return dev;
}

TPosixComDevice::~TPosixComDevice() {
    if (m_fd >= 0) {
        // Unsent bytes are dropped, so close() never waits for a line held by flow control.
        ::tcflush(m_fd, TCOFLUSH);
        ::close(m_fd);
    }
    for (int fd : {m_abortFd, m_rxReadyFd, m_wakeFd})
        if (fd >= 0)
            ::close(fd);
}

void TPosixComDevice::wake() {
    signalFd(m_wakeFd);
}

void TPosixComDevice::abort() {
    if (!m_aborted.exchange(true))
        signalFd(m_abortFd);
}

void TPosixComDevice::markLost() {
    std::lock_guard lock(m_mutex);
    m_lost.store(true);
    setRxReady(true);
}

void TPosixComDevice::setRxReady(bool ready) {
    if (ready == m_rxReady)
        return;
    m_rxReady = ready;
    if (ready)
        signalFd(m_rxReadyFd);
    else
        drainFd(m_rxReadyFd);
}

int TPosixComDevice::applyDCB(const TComDCB& dcb) {
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
    case prMark:
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case prSpace:
        t.c_cflag |= PARENB | CMSPAR;
        break;
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

    if (dcb.BaudRate == 0)
        return EINVAL;
    const speed_t speed = standardSpeed(dcb.BaudRate);
    ::cfsetispeed(&t, speed == B0 ? B38400 : speed);
    ::cfsetospeed(&t, speed == B0 ? B38400 : speed);
    if (::tcsetattr(m_fd, TCSANOW, &t) != 0)
        return errno;
    if (speed == B0) {
        if (int err = setCustomBaudRate(m_fd, dcb.BaudRate))
            return err;
    }

    const bool dtr = dcb.fDtrControl != dtrDisable;
    const bool rts = dcb.fRtsControl == rtsEnable || dcb.fRtsControl == rtsHandshake;
    if (m_simulator) {
        m_simulator->setOutputs(dtr, rts);
    } else if (m_hasModemLines) {
        int bits = TIOCM_DTR;
        if (::ioctl(m_fd, dtr ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !unsupported(errno))
            return errno;
        bits = TIOCM_RTS;
        if (::ioctl(m_fd, rts ? TIOCMBIS : TIOCMBIC, &bits) != 0 && !unsupported(errno))
            return errno;
    }

    std::lock_guard lock(m_mutex);
    m_discardNull = dcb.fNull;
    m_eventChar = dcb.EvtChar;
    m_parityCheck = dcb.fParity;
    m_baud = dcb.BaudRate;
    m_bitsPerChar =
        1 + dcb.ByteSize + (dcb.Parity != prNone ? 1 : 0) + (dcb.StopBits != sbOneStopBit ? 2 : 1);
    return 0;
}

void TPosixComDevice::setQueueSizes(int input, int /*output*/) {
    std::lock_guard lock(m_mutex);
    m_inputSize = input;
}

void TPosixComDevice::setTimeouts(const TTimeoutValues& values) {
    std::lock_guard lock(m_mutex);
    m_timeouts = values;
}

TPosixComDevice::TTimeoutValues TPosixComDevice::timeouts() const {
    std::lock_guard lock(m_mutex);
    return m_timeouts;
}

int TPosixComDevice::modemLines(TComSignals& lines) const {
    if (m_simulator) {
        lines = m_simulator->Signals();
        return 0;
    }
    if (!m_hasModemLines) {
        // No modem lines (a pseudo-terminal): as if a looped-back cable were there.
        lines = {csCTS, csDSR, csRLSD};
        return 0;
    }
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

TComEvents TPosixComDevice::fill() {
    TComEvents events;
    std::lock_guard lock(m_mutex);
    if (m_lost.load())
        return events;
    const std::size_t before = m_queue.size();
    const std::size_t capacity =
        std::max<std::size_t>(MinQueueCapacity, static_cast<std::size_t>(m_inputSize));
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) { // 0 after readiness is a hang-up; EIO a device that went away
            m_lost.store(true);
            setRxReady(true);
            break;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buf[i];
            if (c == 0 && m_discardNull)
                continue;
            if (m_queue.size() >= capacity) {
                if (!m_overflow)
                    events.include(evError);
                m_overflow = true;
                continue;
            }
            m_queue.push_back(c);
            if (c == m_eventChar)
                events.include(evRxFlag);
        }
        if (n < static_cast<ssize_t>(sizeof buf))
            break;
    }
    if (m_queue.size() > before) {
        events.include(evRxChar);
        const std::size_t full80 = static_cast<std::size_t>(m_inputSize) * 8 / 10;
        if (before < full80 && m_queue.size() >= full80)
            events.include(evRx80Full);
    }
    if (!m_queue.empty())
        setRxReady(true);
    return events;
}

std::size_t TPosixComDevice::available() {
    fill();
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

std::size_t TPosixComDevice::take(char* buffer, std::size_t n) {
    std::lock_guard lock(m_mutex);
    const std::size_t count = std::min(n, m_queue.size());
    std::copy_n(m_queue.begin(), count, buffer);
    m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(count));
    if (m_queue.empty() && !m_lost.load())
        setRxReady(false);
    return count;
}

int TPosixComDevice::purge(bool input, bool output) {
    if (input || output) {
        if (::tcflush(m_fd, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) != 0)
            return errno;
    }
    if (input) {
        std::lock_guard lock(m_mutex);
        m_queue.clear();
        if (!m_lost.load())
            setRxReady(false);
    }
    return 0;
}

TComErrors TPosixComDevice::takeErrors() {
    std::lock_guard lock(m_mutex);
    TComErrors errors;
    if (m_overflow)
        errors.include(ceRxOver);
    m_overflow = false;
    TCounters c;
    if (m_hasCounters && readCounters(m_fd, c)) {
        if (c.frame != m_errorBase.frame)
            errors.include(ceFrame);
        if (c.parity != m_errorBase.parity && m_parityCheck)
            errors.include(ceRxParity);
        if (c.overrun != m_errorBase.overrun)
            errors.include(ceOverrun);
        if (c.brk != m_errorBase.brk)
            errors.include(ceBreak);
        if (c.bufOverrun != m_errorBase.bufOverrun)
            errors.include(ceRxOver);
        m_errorBase = c;
    }
    return errors;
}

TComEvents TPosixComDevice::takeErrorEvents() {
    TComEvents events;
    TCounters c;
    if (!m_hasCounters || !readCounters(m_fd, c))
        return events;
    std::lock_guard lock(m_mutex);
    if (c.frame != m_eventBase.frame || c.overrun != m_eventBase.overrun ||
        c.bufOverrun != m_eventBase.bufOverrun || (c.parity != m_eventBase.parity && m_parityCheck))
        events.include(evError);
    if (c.brk != m_eventBase.brk)
        events.include(evBreak);
    m_eventBase = c;
    return events;
}

std::uint32_t TPosixComDevice::baudRate() const {
    std::lock_guard lock(m_mutex);
    return m_baud;
}

int TPosixComDevice::sendTimeMs(int n) const {
    std::lock_guard lock(m_mutex);
    const std::uint64_t bits = static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(m_bitsPerChar);
    return static_cast<int>(
               std::min<std::uint64_t>(bits * 1000 / std::max<std::uint32_t>(m_baud, 1), 60000)) +
           1;
}

int TPosixComDevice::outputQueue() const {
    int n = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &n) != 0)
        return -1;
    return n;
}

void TPosixComDevice::noteWrite() {
    if (m_watchTx.load()) {
        m_txPending.store(true);
        wake();
    }
}

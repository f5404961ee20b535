#include "PosixComDevice.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <linux/serial.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr TComEvents LineEvents{evCTS, evDSR, evRLSD, evRing};

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

namespace fs = std::filesystem;

// A ttyS entry is there for every possible 8250 port; only those where a UART was found have a
// type other than 0 (unknown).
static bool uartAnswers(const fs::path& entry) {
    std::ifstream in(entry / "type");
    int type = 0;
    return in >> type && type != 0;
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

// ---------------------------------------------------------------------------------------------
// TStopSignal: an eventfd, readable while signalled

TStopSignal::TStopSignal() : m_handle(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (m_handle < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd");
}

TStopSignal::~TStopSignal() {
    ::close(static_cast<int>(m_handle));
}

void TStopSignal::Signal() {
    m_signalled.store(true);
    signalFd(static_cast<int>(m_handle));
}

void TStopSignal::Reset() {
    drainFd(static_cast<int>(m_handle));
    m_signalled.store(false);
}

bool TStopSignal::WaitFor(std::chrono::milliseconds timeout) const {
    if (m_signalled.load())
        return true;
    const TComDeadline deadline =
        timeout.count() < 0 ? TComDeadline::never() : TComDeadline::in(timeout.count());
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

bool TPosixComDevice::readCounters(int fd, TCounters& c) {
    serial_icounter_struct ic{};
    if (::ioctl(fd, TIOCGICOUNT, &ic) != 0)
        return false;
    c = {ic.frame, ic.overrun, ic.parity, ic.brk, ic.buf_overrun};
    return true;
}

std::shared_ptr<TPosixComDevice> TPosixComDevice::openPath(const std::string& path) {
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
    dev->m_lineStopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (dev->m_abortFd < 0 || dev->m_rxReadyFd < 0 || dev->m_wakeFd < 0 || dev->m_lineStopFd < 0)
        throw EComPort(ecOpen, errno); // the destructor closes what was opened

    int lines = 0;
    dev->m_hasModemLines = ::ioctl(fd, TIOCMGET, &lines) == 0;
    dev->m_hasCounters = readCounters(fd, dev->m_errorBase);
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
    for (int fd : {m_abortFd, m_rxReadyFd, m_wakeFd, m_lineStopFd})
        if (fd >= 0)
            ::close(fd);
}

void TPosixComDevice::abort() {
    if (!m_aborted.exchange(true))
        signalFd(m_abortFd);
}

void TPosixComDevice::markLost() {
    m_lost.store(true);
    updateRxReady();
}

// The rx-ready eventfd is readable while the queue holds bytes or the device is gone.
void TPosixComDevice::updateRxReady() {
    std::lock_guard lock(m_mutex);
    const bool ready = m_lost.load() || m_queue.size() > 0;
    if (ready == m_rxReady)
        return;
    m_rxReady = ready;
    if (ready)
        signalFd(m_rxReadyFd);
    else
        drainFd(m_rxReadyFd);
}

// ---------------------------------------------------------------------------------------------
// Settings

int TPosixComDevice::applyDCB(const TComDCB& dcb, bool driveLines) {
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

    m_queue.configure(dcb.fNull, dcb.EvtChar);
    std::lock_guard lock(m_mutex);
    m_parityCheck = dcb.fParity;
    m_baud = dcb.BaudRate;
    m_bitsPerChar = ComBitsPerChar(dcb);
    return 0;
}

int TPosixComDevice::setQueueSizes(int input, int /*output*/) {
    m_queue.setInputSize(input);
    return 0;
}

void TPosixComDevice::setTimeouts(const TComTimeoutValues& values) {
    std::lock_guard lock(m_mutex);
    m_timeouts = values;
}

TComTimeoutValues TPosixComDevice::timeouts() const {
    std::lock_guard lock(m_mutex);
    return m_timeouts;
}

// ---------------------------------------------------------------------------------------------
// Input

TComEvents TPosixComDevice::fill() {
    TComEvents events;
    // One reader at a time, so that chunks enter the queue in the order they were read.
    std::lock_guard fillLock(m_fillMutex);
    if (m_lost.load())
        return events;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) { // 0 after readiness is a hang-up; EIO a device that went away
            m_lost.store(true);
            break;
        }
        events = events | m_queue.push(buf, static_cast<std::size_t>(n));
        if (n < static_cast<ssize_t>(sizeof buf))
            break;
    }
    updateRxReady();
    return events;
}

std::size_t TPosixComDevice::available() {
    fill();
    return m_queue.size();
}

std::size_t TPosixComDevice::take(char* buffer, std::size_t n) {
    const std::size_t count = m_queue.take(buffer, n);
    updateRxReady();
    return count;
}

TComWoken TPosixComDevice::waitForInput(int timeoutMs, const TStopSignal* stop) {
    pollfd fds[4] = {{m_lost.load() ? -1 : m_fd, POLLIN, 0},
                     {m_rxReadyFd, POLLIN, 0},
                     {m_abortFd, POLLIN, 0},
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

int TPosixComDevice::purge(bool input, bool output) {
    if (input || output) {
        if (::tcflush(m_fd, input && output ? TCIOFLUSH : input ? TCIFLUSH : TCOFLUSH) != 0)
            return errno;
    }
    if (input) {
        m_queue.clear();
        updateRxReady();
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Output

TComWoken TPosixComDevice::waitForOutput(int timeoutMs) {
    pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_abortFd, POLLIN, 0}};
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

int TPosixComDevice::write(const char* data, std::size_t n, const TComDeadline& deadline, bool untilSent,
                           std::size_t& written) {
    written = 0;
    if (m_lost.load())
        return EIO;
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
            if (m_lost.load())
                return EIO;
            continue;
        }
        const int err = w < 0 ? errno : EIO;
        if (err == EIO)
            markLost();
        return err;
    }
    if (written > 0 && m_watchTx.load()) {
        m_txPending.store(true);
        wake();
    }
    // The transfer ends when the bytes have left the device (or the time is up).
    for (int queued; untilSent && (queued = outputQueue()) > 0 && !deadline.passed();) {
        int wait = sendTimeMs(queued);
        if (!deadline.unlimited())
            wait = std::min(wait, deadline.remainingMs());
        pollfd p{m_abortFd, POLLIN, 0};
        if (::poll(&p, 1, wait) > 0)
            break;
    }
    return 0;
}

int TPosixComDevice::sendTimeMs(int n) const {
    std::lock_guard lock(m_mutex);
    return ComSendTimeMs(n, m_baud, m_bitsPerChar);
}

int TPosixComDevice::outputQueue() const {
    int n = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &n) != 0)
        return -1;
    return n;
}

// ---------------------------------------------------------------------------------------------
// Lines and errors

int TPosixComDevice::modemLines(TComSignals& lines) const {
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

TComErrors TPosixComDevice::takeErrors() {
    TComErrors errors;
    if (m_queue.takeOverflow())
        errors.include(ceRxOver);
    std::lock_guard lock(m_mutex);
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

// ---------------------------------------------------------------------------------------------
// The event thread's wait

void TPosixComDevice::wake() {
    signalFd(m_wakeFd);
}

void TPosixComDevice::startEvents(TComEvents events) {
    m_watched = events;
    m_watchTx.store(events.contains(evTxEmpty));
    const TComEvents lines = events & LineEvents;
    if (!lines.empty() && m_hasModemLines && !m_lineThread.joinable()) {
        lineWakeSignal();
        m_lineStop.store(false);
        m_lineDone = false;
        m_lineThread = std::thread(&TPosixComDevice::lineWatch, this, lines);
    }
}

bool TPosixComDevice::waitEvents(TComEvents& result) {
    const bool wantInput =
        !(m_watched & TComEvents{evRxChar, evRxFlag, evRx80Full, evError, evBreak}).empty();
    for (;;) {
        // A time limit only while sent bytes are still on their way, for evTxEmpty.
        const bool txPending = m_watchTx.load() && m_txPending.load();
        const int queuedBefore = txPending ? outputQueue() : 0;
        const int timeout = queuedBefore > 0 ? sendTimeMs(queuedBefore) : txPending ? 0 : -1;
        pollfd fds[2] = {{m_lost.load() ? -1 : m_fd, static_cast<short>(wantInput ? POLLIN : 0), 0},
                         {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeout) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        const bool woken = (fds[1].revents & POLLIN) != 0;
        if (woken)
            drainFd(m_wakeFd);
        TComEvents events = TComEvents::fromBits(m_lineEvents.exchange(0));
        if (fds[0].revents & POLLIN)
            events = events | fill() | takeErrorEvents();
        if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            events = events | fill(); // what arrived before the hang-up
            markLost();
        }
        if (txPending && outputQueue() <= 0 && m_txPending.exchange(false))
            events.include(evTxEmpty);
        result = events & m_watched;
        const bool lostNow = m_lost.load() && !m_lostReported;
        m_lostReported = m_lostReported || lostNow;
        if (!result.empty() || woken || lostNow)
            return true;
    }
}

void TPosixComDevice::lineWatch(TComEvents watched) {
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
    serial_icounter_struct base{};
    const bool counters = ::ioctl(m_fd, TIOCGICOUNT, &base) == 0;
    bool canWait = true;
    while (!m_lineStop.load()) {
        if (canWait) {
            if (::ioctl(m_fd, TIOCMIWAIT, mask) != 0) {
                if (errno == EINTR)
                    continue;
                if (errno == ENOTTY || errno == EINVAL) {
                    canWait = false; // the driver can't wait: look every 50 ms
                    continue;
                }
                break; // the device is gone
            }
        } else {
            pollfd p{m_lineStopFd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0)
                break;
        }
        if (m_lineStop.load())
            break;
        TComSignals now;
        if (modemLines(now) != 0)
            break;
        TComEvents events = ComLineChanges(last, now);
        serial_icounter_struct count{};
        if (counters && ::ioctl(m_fd, TIOCGICOUNT, &count) == 0) {
            // The counters also catch a pulse that is over before the lines are read.
            if (count.cts != base.cts)
                events.include(evCTS);
            if (count.dsr != base.dsr)
                events.include(evDSR);
            if (count.dcd != base.dcd)
                events.include(evRLSD);
            if (count.rng != base.rng)
                events.include(evRing);
            base = count;
        }
        last = now;
        events = events & watched;
        if (!events.empty()) {
            m_lineEvents.fetch_or(events.bits());
            wake();
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_lineDone = true;
    }
    m_lineDoneCv.notify_all();
}

void TPosixComDevice::stopEvents() {
    m_watchTx.store(false);
    if (!m_lineThread.joinable())
        return;
    m_lineStop.store(true);
    signalFd(m_lineStopFd);
    {
        std::unique_lock lock(m_mutex);
        // A signal that arrives just before the helper enters TIOCMIWAIT is lost, so it is sent
        // again until the helper has answered.
        while (!m_lineDone) {
            ::pthread_kill(m_lineThread.native_handle(), lineWakeSignal());
            m_lineDoneCv.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    m_lineThread.join();
}

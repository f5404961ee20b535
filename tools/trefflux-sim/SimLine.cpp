#include "SimLine.h"

#include "SimTalker.h"

#include "PlatformFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

std::string timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03lld", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<long long>(millis));
    return text;
}

std::string hex(std::string_view bytes, std::size_t limit) {
    std::string text;
    char part[4];
    for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
        std::snprintf(part, sizeof part, "%02X ", static_cast<unsigned char>(bytes[i]));
        text += part;
    }
    if (bytes.size() > limit)
        text += "... (" + std::to_string(bytes.size()) + " Bytes)";
    else if (!text.empty())
        text.pop_back();
    return text;
}

bool makeRaw(int fd, speed_t speed) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0)
        return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (speed != 0) {
        cfsetispeed(&tio, speed);
        cfsetospeed(&tio, speed);
    }
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

speed_t speedOf(int baud) {
    switch (baud) {
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
    default:
        return 0;
    }
}

} // namespace

std::unique_ptr<SimLine> SimLine::openPty(std::unique_ptr<SimMachine> machine, std::string& error) {
    int master = -1;
    int slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        error = std::string("Kein Pseudo-Terminal frei: ") + platform::systemErrorText(errno);
        return nullptr;
    }
    makeRaw(slave, 0);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    std::string name = ptsname(master) ? ptsname(master) : "";
    if (name.rfind("/dev/", 0) == 0)
        name.erase(0, 5);
    return std::unique_ptr<SimLine>(new SimLine(master, slave, name, std::move(machine)));
}

std::unique_ptr<SimLine> SimLine::openDevice(const std::string& path, int baud,
                                             std::unique_ptr<SimMachine> machine, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path +
                " kann nicht ge\xC3\xB6"
                "ffnet werden: " +
                platform::systemErrorText(errno);
        return nullptr;
    }
    if (!makeRaw(fd, speedOf(baud))) {
        error = path + " ist keine serielle Schnittstelle: " + platform::systemErrorText(errno);
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<SimLine>(new SimLine(fd, -1, path, std::move(machine)));
}

SimLine::SimLine(int fd, int heldFd, std::string portName, std::unique_ptr<SimMachine> machine)
    : m_fd(fd), m_heldFd(heldFd), m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      m_stopFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_portName(std::move(portName)),
      m_machine(std::move(machine)) {}

SimLine::~SimLine() {
    stop();
    for (int fd : {m_fd, m_heldFd, m_wakeFd, m_stopFd})
        if (fd >= 0)
            ::close(fd);
}

void SimLine::start() {
    if (!m_thread.joinable() && m_fd >= 0)
        m_thread = std::thread([this] { run(); });
}

void SimLine::stop() {
    m_stop.store(true);
    const std::uint64_t one = 1;
    if (m_stopFd >= 0 && ::write(m_stopFd, &one, sizeof one) < 0) {
        // the counter is already set: the thread wakes anyway
    }
    if (m_thread.joinable())
        m_thread.join();
}

void SimLine::hangUp() {
    stop();
    for (int* fd : {&m_fd, &m_heldFd})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
}

void SimLine::post(Request request) {
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(request));
    }
    const std::uint64_t one = 1;
    if (::write(m_wakeFd, &one, sizeof one) < 0) {
        // already signalled
    }
}

bool SimLine::call(Request request, std::chrono::milliseconds timeout) {
    std::uint64_t ticket = 0;
    {
        std::lock_guard lock(m_mutex);
        ticket = m_requestsRun + m_requests.size() + 1;
    }
    post(std::move(request));
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return m_requestsRun >= ticket; });
}

std::string SimLine::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::chrono::steady_clock::time_point SimLine::lastSent() const {
    std::lock_guard lock(m_mutex);
    return m_lastSent;
}

bool SimLine::waitReceived(const std::function<bool(const std::string&)>& done,
                           std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return done(m_received); });
}

void SimLine::send(std::string_view bytes) {
    log("-> " + hex(bytes, 24));
    std::size_t done = 0;
    while (done < bytes.size() && !m_stop.load()) {
        {
            // Taken before the write, so that whoever reads the last byte finds it set.
            std::lock_guard lock(m_mutex);
            m_lastSent = std::chrono::steady_clock::now();
        }
        const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            log("Schreiben fehlgeschlagen: " + platform::systemErrorText(errno));
            return;
        }
        // The program is not reading yet: wait until there is room, or a stop.
        pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR)
            return;
    }
}

void SimLine::note(const std::string& text) {
    log("   " + text);
}

void SimLine::log(const std::string& text) {
    if (m_log) {
        *m_log << timestamp() << ' ' << text << '\n';
        m_log->flush();
    }
}

void SimLine::runRequests() {
    std::uint64_t wake = 0;
    if (::read(m_wakeFd, &wake, sizeof wake) < 0) {
        // nothing was signalled
    }
    for (;;) {
        Request request;
        {
            std::lock_guard lock(m_mutex);
            if (m_requests.empty())
                break;
            request = std::move(m_requests.front());
            m_requests.pop_front();
        }
        request(*m_machine, *this);
        if (auto* talker = dynamic_cast<SimTalker*>(m_machine.get()))
            talker->talk(*this); // a machine that sends on its own goes on with what is waiting
        {
            std::lock_guard lock(m_mutex);
            ++m_requestsRun;
        }
        m_cv.notify_all();
    }
}

void SimLine::run() {
    char buffer[4096];
    while (!m_stop.load()) {
        pollfd fds[3] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            log("Warten fehlgeschlagen: " + platform::systemErrorText(errno));
            return;
        }
        if (fds[1].revents & POLLIN)
            runRequests();
        if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            if (n > 0) {
                const std::string_view bytes(buffer, static_cast<std::size_t>(n));
                log("<- " + hex(bytes, bytes.size()));
                {
                    std::lock_guard lock(m_mutex);
                    m_received.append(bytes);
                }
                m_cv.notify_all();
                for (char c : bytes)
                    m_machine->received(static_cast<std::uint8_t>(c), *this);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR) ||
                       (fds[0].revents & (POLLHUP | POLLERR))) {
                // A pseudo-terminal keeps its other side open here, so this is a device that went away.
                log("Leitung getrennt");
                return;
            }
        }
    }
}

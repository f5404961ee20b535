#pragma once

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <termios.h>
#include <unistd.h>

// A pseudo-terminal for the tests: the port opens the slave side by its path, the test plays
// the device on the master side.
class PtyPair {
public:
    PtyPair() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[128];
        if (::ptsname_r(m_master, name, sizeof name) != 0)
            throw std::runtime_error("ptsname");
        m_slavePath = name;
        termios t{};
        ::tcgetattr(m_master, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(m_master, TCSANOW, &t);
    }
    ~PtyPair() { closeMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& slavePath() const { return m_slavePath; }
    int master() const { return m_master; }

    void send(const std::string& bytes) const {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno != EINTR)
                throw std::runtime_error("write to master");
            if (n > 0)
                done += static_cast<std::size_t>(n);
        }
    }

    // Reads what the port sent, waiting up to timeoutMs for the first byte.
    std::string receive(int timeoutMs = 1000) const {
        std::string out;
        pollfd p{m_master, POLLIN, 0};
        int wait = timeoutMs;
        while (::poll(&p, 1, wait) > 0) {
            char buf[256];
            const ssize_t n = ::read(m_master, buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, static_cast<std::size_t>(n));
            wait = 20; // the rest follows at once
        }
        return out;
    }

    void closeMaster() {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_slavePath;
};

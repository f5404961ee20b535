#include "InstanceLock.h"

#include "PlatformFile.h"
#include "Win1252.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const std::string& name, Scope scope)
    : m_path(scope == Scope::port ? pathForPort(name) : pathFor(name)), m_scope(scope) {}

InstanceLock::~InstanceLock() {
    release();
}

std::string InstanceLock::pathFor(const std::string& name) {
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    if (!dir || !*dir || access(dir, W_OK) != 0) {
        dir = std::getenv("TMPDIR");
        if (!dir || !*dir)
            dir = "/tmp";
        // The temp directory is shared by all users: keep the user in the name.
        return std::string(dir) + "/" + name + "-" + std::to_string(getuid()) + ".lock";
    }
    return std::string(dir) + "/" + name + ".lock";
}

std::string InstanceLock::pathForPort(const std::string& device) {
    // The port's path in one file name: "/dev/ttyUSB0" -> "trefflux-port-dev_ttyUSB0.lock".
    std::string name = "trefflux-port-";
    for (const char c : device.starts_with('/') ? device.substr(1) : device)
        name += c == '/' ? '_' : c;
    if (access("/run/lock", W_OK) == 0)
        return "/run/lock/" + name + ".lock";
    return pathFor(name);
}

bool InstanceLock::acquire() {
    if (m_handle >= 0)
        return true;
    m_heldElsewhere = false;
    m_error = 0;
    // A port lock may have been made by another user: it is opened for reading (enough for
    // flock), and created only when missing, which a sticky shared folder allows.
    int fd = -1;
    if (m_scope == Scope::port) {
        fd = open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0 && errno == ENOENT)
            fd = open(m_path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    } else {
        fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
    }
    if (fd < 0) {
        m_error = errno;
        return false;
    }
    int rc;
    do {
        rc = flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        m_heldElsewhere = (errno == EWOULDBLOCK);
        m_error = m_heldElsewhere ? 0 : errno;
        close(fd);
        return false;
    }
    m_handle = fd;
    return true;
}

void InstanceLock::release() {
    if (m_handle >= 0) {
        const int fd = static_cast<int>(m_handle);
        flock(fd, LOCK_UN);
        close(fd);
        m_handle = -1;
    }
}

std::string InstanceLock::fehlertext() const {
    return "Die Sperrdatei, die einen zweiten Start verhindert,\n\r" + utf8ToWin1252(m_path) +
           "\n\rkann nicht ge\xF6"
           "ffnet werden:\n\r" +
           utf8ToWin1252(platform::systemErrorText(m_error));
}

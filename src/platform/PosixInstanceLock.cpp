#include "InstanceLock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const std::string& name) : m_path(pathFor(name)) {}

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

bool InstanceLock::acquire() {
    if (m_handle >= 0)
        return true;
    m_heldElsewhere = false;
    m_error = 0;
    const int fd = open(m_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
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

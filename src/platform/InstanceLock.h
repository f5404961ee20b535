#pragma once

#include <string>

// The single-instance guard: an exclusive flock on a lock file named after the guard's name,
// in $XDG_RUNTIME_DIR (else the temp directory), so it is per user. The kernel drops the lock
// when the process ends, however it ends.
class InstanceLock {
public:
    explicit InstanceLock(const std::string& name);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock. False when another process holds it, or when the lock file cannot be
    // opened or locked (see error()).
    bool acquire();
    // True when acquire() failed because another process holds the lock.
    bool heldElsewhere() const { return m_heldElsewhere; }
    // When acquire() failed for another reason: the system's error number (0 otherwise).
    int error() const { return m_error; }
    const std::string& path() const { return m_path; }
    void release();

    // Where the lock file for a name lies.
    static std::string pathFor(const std::string& name);

private:
    std::string m_path;
    int m_fd = -1;
    bool m_heldElsewhere = false;
    int m_error = 0;
};

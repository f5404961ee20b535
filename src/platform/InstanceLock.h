#pragma once

#include <cstdint>
#include <string>

// The single-instance guard. On POSIX an exclusive flock on a lock file named after the guard's
// name, in $XDG_RUNTIME_DIR (else the temp directory), so it is per user; on Windows a named
// mutex of the user's session. The system drops it when the process ends, however it ends.
//
// A port lock (Scope::port) guards one serial port for the programs without a window, one per
// machine: it is the same for every user of the computer (on POSIX a lock file in /run/lock,
// where it can be written, else where the per-user lock lies; on Windows a global mutex).
class InstanceLock {
public:
    enum class Scope { user, port };
    // name: the guard's name, or for a port lock the port's device path.
    explicit InstanceLock(const std::string& name, Scope scope = Scope::user);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock. False when another process holds it, or when the lock file cannot be
    // opened or locked (see error()).
    bool acquire();
    // True when acquire() failed because another process holds the lock.
    bool heldElsewhere() const { return m_heldElsewhere; }
    // When acquire() failed for another reason: the system's error number (0 otherwise), errno
    // on POSIX, GetLastError() on Windows.
    int error() const { return m_error; }
    const std::string& path() const { return m_path; }
    // When acquire() failed for another reason: the message of a window program's start, with
    // the system's reason (Windows-1252).
    std::string fehlertext() const;
    void release();

    // Where the lock file for a name lies (on Windows: the mutex's name).
    static std::string pathFor(const std::string& name);
    static std::string pathForPort(const std::string& device);

private:
    std::string m_path;
    Scope m_scope;
    std::intptr_t m_handle = -1; // the lock file's descriptor, or the mutex's handle
    bool m_heldElsewhere = false;
    int m_error = 0;
};

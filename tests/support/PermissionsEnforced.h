#pragma once

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <initializer_list>

// Root passes every permission check on files and folders (the capability CAP_DAC_OVERRIDE), so
// a read-only folder proves nothing when the tests run as root. While this guard lives, the
// calling thread takes that capability out of its effective set; it stays permitted and is put
// back at the end. The folder's mode bits then apply to root as to any user.
//
// Capabilities belong to a thread: what is tested must run on the thread that holds the guard.
class PermissionsEnforced {
public:
    PermissionsEnforced() {
        if (::geteuid() != 0)
            return; // checked anyway
        if (!get(m_saved))
            return;
        __user_cap_data_struct ohne[_LINUX_CAPABILITY_U32S_3];
        for (int i = 0; i < _LINUX_CAPABILITY_U32S_3; ++i)
            ohne[i] = m_saved[i];
        for (const int cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH})
            ohne[cap / 32].effective &= ~(1u << (cap % 32));
        m_dropped = set(ohne);
    }
    ~PermissionsEnforced() {
        if (m_dropped)
            set(m_saved);
    }
    PermissionsEnforced(const PermissionsEnforced&) = delete;
    PermissionsEnforced& operator=(const PermissionsEnforced&) = delete;

    // True when the permission checks apply to this thread now.
    bool active() const { return m_dropped || ::geteuid() != 0; }

private:
    static bool get(__user_cap_data_struct* data) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capget, &header, data) == 0;
    }
    static bool set(const __user_cap_data_struct* data) {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return ::syscall(SYS_capset, &header, data) == 0;
    }

    __user_cap_data_struct m_saved[_LINUX_CAPABILITY_U32S_3]{};
    bool m_dropped = false;
};

#include "InstanceLock.h"

#include "PlatformFile.h"
#include "Win1252.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// A named mutex of the user's session: the second program that creates it is told it exists.
// The system closes the handle, and with it the mutex, when the process ends.
InstanceLock::InstanceLock(const std::string& name, Scope scope)
    : m_path(scope == Scope::port ? pathForPort(name) : pathFor(name)), m_scope(scope) {}

InstanceLock::~InstanceLock() {
    release();
}

std::string InstanceLock::pathFor(const std::string& name) {
    return name;
}

std::string InstanceLock::pathForPort(const std::string& device) {
    std::string name = "Global\\trefflux-port-";
    for (const char c : device)
        name += c == '\\' ? '_' : c; // a backslash is not allowed in a mutex's own name
    return name;
}

bool InstanceLock::acquire() {
    if (m_handle != -1)
        return true;
    m_heldElsewhere = false;
    m_error = 0;
    HANDLE mutex = ::CreateMutexA(nullptr, FALSE, m_path.c_str());
    const DWORD code = ::GetLastError();
    if (!mutex) {
        // Access denied: the mutex is there, made by a program this one may not open.
        m_heldElsewhere = code == ERROR_ACCESS_DENIED;
        m_error = m_heldElsewhere ? 0 : static_cast<int>(code);
        return false;
    }
    if (code == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(mutex);
        m_heldElsewhere = true;
        return false;
    }
    m_handle = reinterpret_cast<std::intptr_t>(mutex);
    return true;
}

void InstanceLock::release() {
    if (m_handle != -1) {
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
        m_handle = -1;
    }
}

std::string InstanceLock::fehlertext() const {
    return "Der Schutz gegen einen zweiten Start kann nicht angelegt werden:\n\r" +
           utf8ToWin1252(platform::systemErrorText(m_error));
}

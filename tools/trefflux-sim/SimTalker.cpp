#include "SimTalker.h"

#include "PlatformFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

bool simSetDtr(const std::string& portName, bool on, std::string& error) {
    if (portName.rfind("pts/", 0) == 0) {
        error = "ein Pseudo-Terminal hat keine Steuerleitungen (DSR geht nur an einer echten Schnittstelle)";
        return false;
    }
    const std::string path = portName.rfind('/', 0) == 0 ? portName : "/dev/" + portName;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = path + ": " + platform::systemErrorText(errno);
        return false;
    }
    int bits = TIOCM_DTR;
    const bool ok = ::ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
    if (!ok)
        error = path + " hat keine Steuerleitungen: " + platform::systemErrorText(errno);
    ::close(fd);
    return ok;
}

// Bit rates without a B constant (14400, 56000, 128000, 256000 and custom rates) through the
// Linux termios2 interface. Kept apart: the kernel's termbits header clashes with <termios.h>.
#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>
#include <sys/ioctl.h>

int setCustomBaudRate(int fd, std::uint32_t rate) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return errno;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    t.c_cflag |= BOTHER << IBSHIFT;
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    if (::ioctl(fd, TCSETS2, &t) != 0)
        return errno;
    return 0;
}

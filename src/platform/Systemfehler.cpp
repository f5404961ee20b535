// The German reasons for the system's error codes. What the system itself would say (strerror,
// FormatMessage) is in the language of its installation, mostly English: a club's user reads
// these instead, in every message and in the transmission log.

#include "PlatformFile.h"

#ifndef _WIN32
#include <cerrno>
#endif

#include <initializer_list>

namespace platform {
namespace {

struct Grund {
    const char* text; // UTF-8
    std::initializer_list<int> codes;
};

// One row per reason; the codes are errno values on POSIX, GetLastError() values on Windows.
#ifdef _WIN32
// ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_INVALID_DRIVE, ERROR_BAD_NETPATH,
// ERROR_BAD_NET_NAME; ERROR_ACCESS_DENIED; ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION,
// ERROR_BUSY; ERROR_HANDLE_DISK_FULL, ERROR_DISK_FULL; ERROR_WRITE_PROTECT; ERROR_CRC,
// ERROR_GEN_FAILURE, ERROR_IO_DEVICE; ERROR_INVALID_NAME, ERROR_BAD_PATHNAME,
// ERROR_FILENAME_EXCED_RANGE; ERROR_BAD_COMMAND (a USB adapter pulled out), ERROR_DEV_NOT_EXIST,
// ERROR_DEVICE_NOT_CONNECTED.
constexpr Grund kGruende[] = {
    {"nicht vorhanden", {2, 3, 15, 53, 67}},
    {"Zugriff verweigert", {5}},
    {"belegt", {32, 33, 170}},
    {"kein Platz mehr auf dem Datentr\u00e4ger", {39, 112}},
    {"Datentr\u00e4ger schreibgesch\u00fctzt", {19}},
    {"Ein-/Ausgabefehler", {23, 31, 1117}},
    {"ung\u00fcltiger Name", {123, 161, 206}},
    {"Ger\u00e4t nicht angeschlossen", {22, 55, 1167}},
};
#else
constexpr Grund kGruende[] = {
    {"nicht vorhanden", {ENOENT, ENOTDIR}},
    {"Zugriff verweigert", {EACCES, EPERM}},
    {"belegt", {EBUSY, ETXTBSY, EWOULDBLOCK}},
    {"kein Platz mehr auf dem Datentr\u00e4ger", {ENOSPC, EDQUOT}},
    {"Datentr\u00e4ger schreibgesch\u00fctzt", {EROFS}},
    {"Ein-/Ausgabefehler", {EIO}},
    {"ung\u00fcltiger Name", {ENAMETOOLONG, EILSEQ}},
    {"Ger\u00e4t nicht angeschlossen", {ENODEV, ENXIO}},
};
#endif

} // namespace

std::string systemErrorText(int code) {
    std::string text = "Systemfehler " + std::to_string(code);
    for (const Grund& grund : kGruende) {
        for (int c : grund.codes) {
            if (c == code)
                return text + ": " + grund.text;
        }
    }
    return text;
}

} // namespace platform

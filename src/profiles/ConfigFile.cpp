#include "ConfigFile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ConfigFile {
namespace {

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// Reads up to size bytes; returns how many were read (less only at the end of the file), or -1.
ssize_t readFully(int fd, uint8_t* buf, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buf + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(done);
}

bool writeFully(int fd, const uint8_t* buf, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, buf + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

SaveResult failure(const char* what) {
    return {false, std::string(what) + ": " + std::strerror(errno)};
}

// Opens the file for reading without ever blocking (a FIFO named like the file would stall the
// start) and only when it is a regular file. Returns -1 otherwise.
int oeffneZumLesen(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return fd.release();
}

// The file a path names once symbolic links are followed: a saved file replaces the link's
// target, never the link. A link to a file that does not exist yet names that file.
std::string zielDerVerknuepfung(std::string path) {
    for (int tiefe = 0; tiefe < 40; ++tiefe) {
        std::vector<char> ziel(PATH_MAX + 1);
        const ssize_t n = ::readlink(path.c_str(), ziel.data(), ziel.size() - 1);
        if (n < 0)
            return path; // not a link (or nothing there)
        std::string naechster(ziel.data(), static_cast<std::size_t>(n));
        if (naechster.empty() || naechster[0] != '/')
            naechster = directoryOf(path) + "/" + naechster;
        path = std::move(naechster);
    }
    return path; // still a link: a loop, which the save refuses
}

// Writes over the existing file in place: the folder does not let a new file be made next to
// it. The new bytes go over the old ones, then the file is cut to their length and flushed to
// disk.
SaveResult ersetzeAmOrt(const std::string& path, const std::vector<uint8_t>& data) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0)
        return failure("Schreiben fehlgeschlagen");
    if (!writeFully(fd.get(), data.data(), data.size()) ||
        ::ftruncate(fd.get(), static_cast<off_t>(data.size())) != 0 || ::fsync(fd.get()) != 0)
        return failure("Schreiben fehlgeschlagen");
    if (::close(fd.release()) != 0 && errno != EINTR)
        return failure("Schreiben fehlgeschlagen");
    return {};
}

} // namespace

std::string path(std::string_view startverzeichnis) {
    return std::string(startverzeichnis) + "/TFXConf.cnf";
}

Version versionTest(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
        return Version::KeineDatei;
    Fd fd(oeffneZumLesen(path));
    if (fd.get() < 0)
        return Version::None;
    uint8_t first = 0;
    if (readFully(fd.get(), &first, 1) != 1)
        return Version::None;
    return first == Konfigurationsversion ? Version::Current : Version::Other;
}

bool Load(const std::string& path, Profilliste& liste) {
    Fd fd(oeffneZumLesen(path));
    if (fd.get() < 0)
        return false;
    uint8_t version = 0;
    if (readFully(fd.get(), &version, 1) != 1 || version != Konfigurationsversion)
        return false;
    std::vector<Profil> gelesen;
    Profil::Record record;
    for (;;) {
        const ssize_t n = readFully(fd.get(), record.data(), record.size());
        if (n != static_cast<ssize_t>(record.size()))
            break; // end of file, a trailing piece, or a read error: keep what is complete
        gelesen.push_back(Profil::decode(record.data()));
    }
    if (gelesen.empty())
        return false;
    for (const Profil& p : gelesen)
        liste.append(p);
    liste.select(0);
    return true;
}

SaveResult Save(const std::string& gegebenerPfad, const Profilliste& liste) {
    std::vector<uint8_t> data;
    data.reserve(1 + liste.size() * Profil::RecordSize);
    data.push_back(Konfigurationsversion);
    for (const Profil& p : liste) {
        const auto rec = p.encode();
        data.insert(data.end(), rec.begin(), rec.end());
    }

    const std::string path = zielDerVerknuepfung(gegebenerPfad);
    struct stat alt {};
    if (::lstat(path.c_str(), &alt) == 0 && S_ISLNK(alt.st_mode)) {
        errno = ELOOP;
        return failure("Ersetzen der Datei fehlgeschlagen");
    }
    const bool vorhanden = ::stat(path.c_str(), &alt) == 0;
    if (vorhanden && !S_ISREG(alt.st_mode)) // a folder, a FIFO, a device: never replaced
        return {false, "Keine gew\u00f6hnliche Datei"};

    // Into a new file next to the old one, flushed to disk, then renamed over it: an interrupted
    // save leaves the old file whole.
    std::string temp = path + ".XXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (fd.get() < 0) {
        // A folder that takes no new file while the file itself may be written (a read-only
        // folder, a file shared into it): the file is written where it is.
        if (vorhanden && (errno == EACCES || errno == EPERM || errno == EROFS))
            return ersetzeAmOrt(path, data);
        return failure("Anlegen der Datei fehlgeschlagen");
    }
    // The new file keeps the old one's permissions (and, where allowed, its owner).
    if (vorhanden) {
        [[maybe_unused]] const int owner = ::fchown(fd.get(), alt.st_uid, alt.st_gid);
        ::fchmod(fd.get(), alt.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd.get(), 0666 & ~mask);
    }

    SaveResult result;
    if (!writeFully(fd.get(), data.data(), data.size()))
        result = failure("Schreiben fehlgeschlagen");
    else if (::fsync(fd.get()) != 0)
        result = failure("Schreiben fehlgeschlagen");
    else if (::close(fd.release()) != 0)
        result = failure("Schreiben fehlgeschlagen");
    else if (::rename(temp.c_str(), path.c_str()) != 0)
        result = failure("Ersetzen der Datei fehlgeschlagen");
    if (!result.ok) {
        ::unlink(temp.c_str());
        return result;
    }
    // Make the rename itself durable.
    Fd dir(::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
    return result;
}

} // namespace ConfigFile

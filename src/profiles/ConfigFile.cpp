#include "ConfigFile.h"

#include <cerrno>
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

} // namespace

std::string path(std::string_view startverzeichnis) {
    return std::string(startverzeichnis) + "/TFXConf.cnf";
}

Version versionTest(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return Version::None;
    uint8_t first = 0;
    if (readFully(fd.get(), &first, 1) != 1)
        return Version::None;
    return first == Konfigurationsversion ? Version::Current : Version::Other;
}

bool Load(const std::string& path, Profilliste& liste) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return false;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
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

SaveResult Save(const std::string& path, const Profilliste& liste) {
    std::string temp = path + ".XXXXXX";
    Fd fd(::mkstemp(temp.data()));
    if (fd.get() < 0)
        return failure("Anlegen der Datei fehlgeschlagen");
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd.get(), 0666 & ~mask);

    std::vector<uint8_t> data;
    data.reserve(1 + liste.size() * Profil::RecordSize);
    data.push_back(Konfigurationsversion);
    for (const Profil& p : liste) {
        const auto rec = p.encode();
        data.insert(data.end(), rec.begin(), rec.end());
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

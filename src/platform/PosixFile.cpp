#include "PlatformFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace platform {
namespace {

FileError errorFrom(int code) {
    FileError e;
    e.code = code;
    e.full = code == ENOSPC || code == EDQUOT;
    e.exists = code == EEXIST;
    e.text = systemErrorText(code);
    return e;
}

FileError lastError() {
    return errorFrom(errno);
}

void closeQuietly(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

int openRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd;
    do {
        fd = ::open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

std::string directoryOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

// The file a path names once symbolic links are followed: a replaced file replaces the link's
// target, never the link. A link to a file that does not exist yet names that file.
std::string linkTarget(std::string path) {
    for (int depth = 0; depth < 40; ++depth) {
        std::string target(PATH_MAX + 1, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
        if (n < 0)
            return path; // not a link (or nothing there)
        target.resize(static_cast<std::size_t>(n));
        if (target.empty() || target[0] != '/')
            target = directoryOf(path) + "/" + target;
        path = std::move(target);
    }
    return path; // still a link: a loop, which the replace refuses
}

bool writeFully(int fd, std::string_view data, std::size_t& written) {
    written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n > 0)
            written += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else {
            if (n == 0)
                errno = EIO;
            return false; // includes EAGAIN from a full pipe: never wait here
        }
    }
    return true;
}

// Writes over the existing file in place: the new bytes go over the old ones, then the file is
// cut to their length and flushed to disk.
ReplaceResult replaceInPlace(const std::string& path, std::string_view data) {
    const int fd = openRetrying(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return {ReplaceResult::Step::write, lastError()};
    std::size_t written = 0;
    if (!writeFully(fd, data, written) || ::ftruncate(fd, static_cast<off_t>(data.size())) != 0 ||
        ::fsync(fd) != 0) {
        const FileError e = lastError();
        ::close(fd);
        return {ReplaceResult::Step::write, e};
    }
    if (::close(fd) != 0 && errno != EINTR)
        return {ReplaceResult::Step::write, lastError()};
    return {};
}

} // namespace

FileInfo fileInfo(const std::string& path, bool followLinks) {
    struct stat st {};
    if ((followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st)) != 0)
        return {};
    return {S_ISREG(st.st_mode) ? FileKind::regular : FileKind::other,
            int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return names;
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name != "." && name != "..")
            names.emplace_back(name);
    }
    ::closedir(dir);
    return names;
}

std::tm localTime(std::time_t moment) {
    std::tm t{};
    ::localtime_r(&moment, &t);
    return t;
}

std::string stateFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/')
        return std::string(state) + "/trefflux";
    const char* home = std::getenv("HOME");
    if (home && *home)
        return std::string(home) + "/.local/state/trefflux";
    return {};
}

FileError makeFolders(const std::string& folder) {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
        if (at < folder.size() && folder[at] != '/')
            continue;
        const std::string part = folder.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return lastError();
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        return lastError();
    if (!S_ISDIR(st.st_mode))
        return errorFrom(ENOTDIR);
    return {};
}

FileError renameFile(const std::string& from, const std::string& to) {
    if (::rename(from.c_str(), to.c_str()) != 0)
        return lastError();
    return {};
}

FileError removeFile(const std::string& path) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return lastError();
    return {};
}

PlatformFile::~PlatformFile() {
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle));
}

PlatformFile::PlatformFile(PlatformFile&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1)), m_path(std::move(other.m_path)) {}

PlatformFile& PlatformFile::operator=(PlatformFile&& other) noexcept {
    if (this != &other) {
        if (m_handle >= 0)
            ::close(static_cast<int>(m_handle));
        m_handle = std::exchange(other.m_handle, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

// Held exclusively through flock: a results program that locks the file the same way reads it
// only while this program does not hold it. O_NONBLOCK keeps a FIFO or a device named as the
// file from stalling the program.
PlatformFile PlatformFile::openExclusive(const std::string& path, Create create, FileError& error) {
    error = {};
    const int flags = create == Create::no ? 0 : create == Create::always ? O_CREAT : O_CREAT | O_EXCL;
    const int fd = openRetrying(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags, 0666);
    if (fd < 0) {
        error = lastError();
        return {};
    }
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int code = errno;
        error = errorFrom(code);
        error.held = code == EWOULDBLOCK;
        closeQuietly(fd);
        return {};
    }
    return PlatformFile(fd, path);
}

PlatformFile PlatformFile::openForReading(const std::string& path) {
    PlatformFile file(openRetrying(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY), path);
    if (!file.isRegular())
        return {};
    return file;
}

PlatformFile PlatformFile::openForAppending(const std::string& path, FileError& error) {
    error = {};
    const int fd =
        openRetrying(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0)
        error = lastError();
    return PlatformFile(fd, path);
}

bool PlatformFile::isOpen() const {
    return m_handle >= 0;
}

bool PlatformFile::isRegular() const {
    struct stat st {};
    return m_handle >= 0 && ::fstat(static_cast<int>(m_handle), &st) == 0 && S_ISREG(st.st_mode);
}

int64_t PlatformFile::size() const {
    struct stat st {};
    if (m_handle < 0 || ::fstat(static_cast<int>(m_handle), &st) != 0)
        return -1;
    return st.st_size;
}

int64_t PlatformFile::seekToEnd() {
    return ::lseek(static_cast<int>(m_handle), 0, SEEK_END);
}

int64_t PlatformFile::seekTo(int64_t position) {
    return ::lseek(static_cast<int>(m_handle), static_cast<off_t>(position), SEEK_SET);
}

FileError PlatformFile::truncate(int64_t length) {
    if (::ftruncate(static_cast<int>(m_handle), static_cast<off_t>(length)) != 0)
        return lastError();
    return {};
}

FileError PlatformFile::writeAll(std::string_view data, std::size_t& written) {
    if (!writeFully(static_cast<int>(m_handle), data, written))
        return lastError();
    return {};
}

int64_t PlatformFile::readFully(void* buffer, std::size_t size) {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(static_cast<int>(m_handle), bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<int64_t>(done);
}

FileError PlatformFile::flushToDisk() {
    if (::fsync(static_cast<int>(m_handle)) != 0)
        return lastError();
    flushed();
    return {};
}

FileError PlatformFile::close() {
    const int fd = static_cast<int>(std::exchange(m_handle, -1));
    // On Linux the descriptor is gone even when close reports EINTR; that is no loss of data.
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR)
        return lastError();
    return {};
}

ReplaceResult replaceFile(const std::string& givenPath, std::string_view data) {
    const std::string path = linkTarget(givenPath);
    struct stat old {};
    if (::lstat(path.c_str(), &old) == 0 && S_ISLNK(old.st_mode))
        return {ReplaceResult::Step::replace, errorFrom(ELOOP)};
    const bool exists = ::stat(path.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) // a folder, a FIFO, a device: never replaced
        return {ReplaceResult::Step::notAFile, {}};

    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        // A folder that takes no new file while the file itself may be written (a read-only
        // folder, a file shared into it): the file is written where it is.
        if (exists && (errno == EACCES || errno == EPERM || errno == EROFS))
            return replaceInPlace(path, data);
        return {ReplaceResult::Step::create, lastError()};
    }
    PlatformFile file(fd);
    // The new file keeps the old one's permissions (and, where allowed, its owner).
    if (exists) {
        [[maybe_unused]] const int owner = ::fchown(fd, old.st_uid, old.st_gid);
        ::fchmod(fd, old.st_mode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }

    ReplaceResult result;
    std::size_t written = 0;
    if (FileError e = file.writeAll(data, written))
        result = {ReplaceResult::Step::write, e};
    else if (FileError e = file.flushToDisk())
        result = {ReplaceResult::Step::write, e};
    else if (FileError e = file.close())
        result = {ReplaceResult::Step::write, e};
    else if (::rename(temp.c_str(), path.c_str()) != 0)
        result = {ReplaceResult::Step::replace, lastError()};
    if (!result.ok()) {
        ::unlink(temp.c_str());
        return result;
    }
    // Make the rename itself durable.
    const int dir = openRetrying(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return result;
}

} // namespace platform

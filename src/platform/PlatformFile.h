#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The file operations of the core, one implementation per operating system (PosixFile.cpp,
// Win32File.cpp). Paths are UTF-8. No call ever blocks on what a path names: a FIFO or a device
// in a file's place is reported, never waited on.
namespace platform {

struct FileError {
    int code = 0;        // the system's error number (errno, or GetLastError() on Windows); 0: none
    bool held = false;   // another program holds the file
    bool exists = false; // a file that was to be created anew is there already
    bool full = false;   // the disk is full
    std::string text;    // systemErrorText(code) (UTF-8)
    explicit operator bool() const { return code != 0 || held; }
};

// A system error number in German, for messages and the log (UTF-8): "Systemfehler 2: nicht
// vorhanden" for the common ones (not found, access denied, in use, no space, read-only, I/O
// error, invalid name, device gone), "Systemfehler <n>" for any other. Never the system's own
// text, which is in the language of its installation.
std::string systemErrorText(int code);

enum class FileKind { missing, regular, other };
struct FileInfo {
    FileKind kind = FileKind::missing;
    int64_t modified = 0; // last change, in nanoseconds since the system's epoch
};
// What a path names; with followLinks false a symbolic link counts as other.
FileInfo fileInfo(const std::string& path, bool followLinks);
// The names in a folder (without "." and ".."); empty when it cannot be read.
std::vector<std::string> folderEntries(const std::string& folder);

// The local broken-down time of a moment.
std::tm localTime(std::time_t moment);

// The folder for the program's own state (the transmission log): $XDG_STATE_HOME/trefflux, else
// ~/.local/state/trefflux; on Windows %LOCALAPPDATA%\Trefflux. Empty when none can be named.
std::string stateFolder();
// Makes the folder and every missing folder above it; one already there is no error.
FileError makeFolders(const std::string& folder);
// Puts the file from in the place of to, replacing a file there.
FileError renameFile(const std::string& from, const std::string& to);
// Deletes a file; one that is not there is no error.
FileError removeFile(const std::string& path);

// An open file, closed with the object.
class PlatformFile {
public:
    enum class Create { no, always, onlyNew };

    PlatformFile() = default;
    ~PlatformFile();
    PlatformFile(PlatformFile&& other) noexcept;
    PlatformFile& operator=(PlatformFile&& other) noexcept;
    PlatformFile(const PlatformFile&) = delete;
    PlatformFile& operator=(const PlatformFile&) = delete;

    // For reading and writing, held by this program alone until it is closed: a file another
    // program holds the same way is refused with FileError::held, and a program that opens or
    // locks it meanwhile is refused.
    static PlatformFile openExclusive(const std::string& path, Create create, FileError& error);
    // For reading, only when the path names a regular file.
    static PlatformFile openForReading(const std::string& path);
    // For appending, created when missing; a symbolic link in the path's last place is refused.
    static PlatformFile openForAppending(const std::string& path, FileError& error);

    bool isOpen() const;
    bool isRegular() const;
    int64_t size() const;             // -1 when unknown
    int64_t seekToEnd();              // the new position, -1 on failure
    int64_t seekTo(int64_t position); // the new position, -1 on failure
    FileError truncate(int64_t length);
    // Writes everything; written is how many bytes the file took, also on failure. A pipe that
    // takes nothing more at the moment is a failure, never a wait.
    FileError writeAll(std::string_view data, std::size_t& written);
    // Reads up to size bytes: fewer only at the end of the file; -1 on failure.
    int64_t readFully(void* buffer, std::size_t size);
    FileError flushToDisk();
    FileError close();

    // Takes over a handle of the system's (a descriptor on POSIX, a HANDLE on Windows).
    explicit PlatformFile(std::intptr_t handle) : m_handle(handle) {}

    // The path the file was opened by (empty for a handle taken over).
    const std::string& path() const { return m_path; }

    // Tests follow the order in which files reach the disk: the observer is called after every
    // flushToDisk that succeeded, with the file's path, on the thread that flushed. None in
    // service.
    using FlushObserver = std::function<void(const std::string& path)>;
    static void setFlushObserver(FlushObserver observer);

private:
    PlatformFile(std::intptr_t handle, std::string path) : m_handle(handle), m_path(std::move(path)) {}
    void flushed() const;

    std::intptr_t m_handle = -1;
    std::string m_path;
};

// Replaces a file's whole content so that an interruption leaves either the old or the new
// content: written into a new file in the same folder, flushed to disk and put in the old one's
// place. A symbolic link is followed and its target replaced; the file keeps its permissions.
// Where the folder takes no new file but the file may be written, it is written in place and
// flushed to disk. Something other than a regular file in the file's place is never replaced.
struct ReplaceResult {
    enum class Step { done, notAFile, create, write, replace };
    Step failedAt = Step::done;
    FileError error;
    bool ok() const { return failedAt == Step::done; }
};
ReplaceResult replaceFile(const std::string& path, std::string_view data);

#ifdef _WIN32
// UTF-8 paths and texts to the UTF-16 of the Windows API and back.
std::wstring utf8ZuWide(std::string_view utf8);
std::string wideZuUtf8(std::wstring_view text);
#endif

} // namespace platform

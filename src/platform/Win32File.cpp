#include "PlatformFile.h"

#include <algorithm>
#include <utility>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace platform {
namespace {

HANDLE handleOf(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

std::intptr_t valueOf(HANDLE h) {
    return reinterpret_cast<std::intptr_t>(h);
}

std::wstring wide(const std::string& utf8) {
    return utf8ZuWide(utf8);
}

std::string narrow(const wchar_t* text, int length) {
    return length <= 0 ? std::string()
                       : wideZuUtf8(std::wstring_view(text, static_cast<std::size_t>(length)));
}

FileError errorFrom(DWORD code) {
    FileError e;
    e.code = static_cast<int>(code);
    e.held = code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
    e.exists = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    e.full = code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
    e.text = systemErrorText(e.code);
    return e;
}

FileError lastError() {
    return errorFrom(::GetLastError());
}

int64_t toNanoseconds(const FILETIME& t) {
    ULARGE_INTEGER v;
    v.LowPart = t.dwLowDateTime;
    v.HighPart = t.dwHighDateTime;
    return static_cast<int64_t>(v.QuadPart) * 100;
}

bool isDiskFile(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info{};
    return ::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The file a path names once links are followed, so that a replaced file replaces the link's
// target, never the link. The path itself where it cannot be resolved (nothing there yet).
std::wstring finalPath(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return path;
    std::wstring out(MAX_PATH, L'\0');
    DWORD n =
        ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
    if (n >= out.size()) {
        out.resize(n + 1);
        n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), FILE_NAME_NORMALIZED);
    }
    ::CloseHandle(h);
    if (n == 0 || n >= out.size())
        return path;
    out.resize(n);
    return out;
}

bool writeFully(HANDLE h, std::string_view data, std::size_t& written) {
    written = 0;
    while (written < data.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size() - written, 1u << 30));
        DWORD n = 0;
        if (!::WriteFile(h, data.data() + written, chunk, &n, nullptr))
            return false;
        if (n == 0) {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        written += n;
    }
    return true;
}

// Writes over the existing file in place: the new bytes go over the old ones, then the file is
// cut to their length and flushed to disk.
ReplaceResult replaceInPlace(const std::wstring& path, std::string_view data) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_WRITE_THROUGH,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return {ReplaceResult::Step::write, lastError()};
    PlatformFile file(valueOf(h));
    std::size_t written = 0;
    FileError e = file.writeAll(data, written);
    if (!e)
        e = file.truncate(static_cast<int64_t>(data.size()));
    if (!e)
        e = file.flushToDisk();
    if (!e)
        e = file.close();
    if (e)
        return {ReplaceResult::Step::write, e};
    return {};
}

} // namespace

FileInfo fileInfo(const std::string& path, bool followLinks) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data))
        return {};
    const bool link = data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    const bool other = (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) ||
                       (link && !followLinks);
    return {other ? FileKind::other : FileKind::regular, toNanoseconds(data.ftLastWriteTime)};
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry{};
    HANDLE h = ::FindFirstFileW(wide(folder + "\\*").c_str(), &entry);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring_view name = entry.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(narrow(name.data(), static_cast<int>(name.size())));
    } while (::FindNextFileW(h, &entry));
    ::FindClose(h);
    return names;
}

std::string stateFolder() {
    wchar_t buffer[MAX_PATH + 1];
    const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH)
        return {};
    return narrow(buffer, static_cast<int>(n)) + "\\Trefflux";
}

FileError makeFolders(const std::string& folder) {
    const std::wstring path = wide(folder);
    for (std::size_t at = 1; at <= path.size(); ++at) {
        if (at < path.size() && path[at] != L'\\' && path[at] != L'/')
            continue;
        const std::wstring part = path.substr(0, at);
        if (part.size() == 2 && part[1] == L':')
            continue; // a drive letter
        if (!::CreateDirectoryW(part.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
            return lastError();
    }
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError();
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return errorFrom(ERROR_DIRECTORY);
    return {};
}

FileError renameFile(const std::string& from, const std::string& to) {
    if (!::MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING))
        return lastError();
    return {};
}

FileError removeFile(const std::string& path) {
    if (!::DeleteFileW(wide(path).c_str())) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
            return errorFrom(code);
    }
    return {};
}

std::tm localTime(std::time_t moment) {
    std::tm t{};
    ::localtime_s(&t, &moment);
    return t;
}

PlatformFile::~PlatformFile() {
    if (m_handle != -1)
        ::CloseHandle(handleOf(m_handle));
}

PlatformFile::PlatformFile(PlatformFile&& other) noexcept
    : m_handle(std::exchange(other.m_handle, -1)), m_path(std::move(other.m_path)) {}

PlatformFile& PlatformFile::operator=(PlatformFile&& other) noexcept {
    if (this != &other) {
        if (m_handle != -1)
            ::CloseHandle(handleOf(m_handle));
        m_handle = std::exchange(other.m_handle, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

// Opened without sharing: while it is open, every other open of the file fails with a sharing
// violation, and a file someone else has open cannot be opened here.
PlatformFile PlatformFile::openExclusive(const std::string& path, Create create, FileError& error) {
    error = {};
    const DWORD disposition = create == Create::no       ? OPEN_EXISTING
                              : create == Create::always ? OPEN_ALWAYS
                                                         : CREATE_NEW;
    HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, disposition,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        error = lastError();
    return PlatformFile(valueOf(h), path);
}

PlatformFile PlatformFile::openForReading(const std::string& path) {
    // Shared with a writer, which may also rename the file away meanwhile (the transmission log).
    HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    PlatformFile file(valueOf(h), path);
    if (!file.isRegular())
        return {};
    return file;
}

PlatformFile PlatformFile::openForAppending(const std::string& path, FileError& error) {
    error = {};
    const std::wstring name = wide(path);
    const DWORD attributes = ::GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        error = errorFrom(ERROR_CANT_ACCESS_FILE);
        return {};
    }
    HANDLE h = ::CreateFileW(name.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        error = lastError();
    return PlatformFile(valueOf(h), path);
}

bool PlatformFile::isOpen() const {
    return m_handle != -1;
}

bool PlatformFile::isRegular() const {
    return m_handle != -1 && isDiskFile(handleOf(m_handle));
}

int64_t PlatformFile::size() const {
    LARGE_INTEGER v{};
    if (m_handle == -1 || !::GetFileSizeEx(handleOf(m_handle), &v))
        return -1;
    return v.QuadPart;
}

int64_t PlatformFile::seekToEnd() {
    LARGE_INTEGER zero{}, position{};
    if (!::SetFilePointerEx(handleOf(m_handle), zero, &position, FILE_END))
        return -1;
    return position.QuadPart;
}

int64_t PlatformFile::seekTo(int64_t position) {
    LARGE_INTEGER to{}, now{};
    to.QuadPart = position;
    if (!::SetFilePointerEx(handleOf(m_handle), to, &now, FILE_BEGIN))
        return -1;
    return now.QuadPart;
}

FileError PlatformFile::truncate(int64_t length) {
    LARGE_INTEGER to{};
    to.QuadPart = length;
    if (!::SetFilePointerEx(handleOf(m_handle), to, nullptr, FILE_BEGIN) ||
        !::SetEndOfFile(handleOf(m_handle)))
        return lastError();
    return {};
}

FileError PlatformFile::writeAll(std::string_view data, std::size_t& written) {
    if (!writeFully(handleOf(m_handle), data, written))
        return lastError();
    return {};
}

int64_t PlatformFile::readFully(void* buffer, std::size_t size) {
    auto* bytes = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD n = 0;
        if (!::ReadFile(handleOf(m_handle), bytes + done, chunk, &n, nullptr))
            return -1;
        if (n == 0)
            break;
        done += n;
    }
    return static_cast<int64_t>(done);
}

FileError PlatformFile::flushToDisk() {
    if (!::FlushFileBuffers(handleOf(m_handle)))
        return lastError();
    flushed();
    return {};
}

FileError PlatformFile::close() {
    const HANDLE h = handleOf(std::exchange(m_handle, -1));
    if (h != INVALID_HANDLE_VALUE && !::CloseHandle(h))
        return lastError();
    return {};
}

ReplaceResult replaceFile(const std::string& givenPath, std::string_view data) {
    const std::wstring path = finalPath(wide(givenPath));
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_REPARSE_POINT)))
        return {ReplaceResult::Step::notAFile, {}};

    // Into a new file next to the old one, flushed to disk, then put in its place.
    std::wstring temp;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (unsigned attempt = 0; h == INVALID_HANDLE_VALUE && attempt < 100; ++attempt) {
        temp = path + L"." + std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) +
               L".tmp";
        h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
        if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // A folder that takes no new file while the file itself may be written: in place.
        if (exists && (code == ERROR_ACCESS_DENIED || code == ERROR_WRITE_PROTECT))
            return replaceInPlace(path, data);
        return {ReplaceResult::Step::create, errorFrom(code)};
    }
    PlatformFile file(valueOf(h));
    std::size_t written = 0;
    ReplaceResult result;
    if (FileError e = file.writeAll(data, written))
        result = {ReplaceResult::Step::write, e};
    else if (FileError e = file.flushToDisk())
        result = {ReplaceResult::Step::write, e};
    else if (FileError e = file.close())
        result = {ReplaceResult::Step::write, e};
    // ReplaceFileW keeps the old file's attributes and security (its permissions); a file that
    // is not there yet is moved into place.
    else if (!(exists && ::ReplaceFileW(path.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                        nullptr, nullptr)) &&
             !::MoveFileExW(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        result = {ReplaceResult::Step::replace, lastError()};
    if (!result.ok()) {
        file = PlatformFile();
        ::DeleteFileW(temp.c_str());
    }
    return result;
}

std::wstring utf8ZuWide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string wideZuUtf8(std::wstring_view text) {
    if (text.empty())
        return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr,
                          nullptr);
    return out;
}

} // namespace platform

// Stands in for the file and directory functions of kernel32, on the lab's drives.
#include "lab/win32/Files.h"

#include "lab/host/Host.h"
#include "lab/win32/Devices.h"
#include "lab/win32/Handles.h"
#include "lab/win32/PathBuffer.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace {

class FileObject : public lab::win32::KernelObject {
public:
    // The name as opened; the key of the lab's creation times is made from it when first needed, as few
    // files are asked for theirs (a relative name at once: it depends on the current directory).
    FileObject(int fd, const char* pszName, bool bWritable) : m_fd(fd), m_name(pszName), m_bWritable(bWritable)
    {
        if (!IsDrivePath(m_name) && (m_name.empty() || (m_name.front() != '/' && m_name.front() != '\\')))
            Key();
    }
    ~FileObject() override { close(m_fd); }
    DWORD Wait(DWORD) override { return WAIT_OBJECT_0; }  // a file is always signalled
    int Fd() const { return m_fd; }
    // The file's name for the lab's creation times.
    const std::string& Key() const
    {
        std::call_once(m_keyMade, [this] { m_key = lab::host::FileTimes::Key(m_name); });
        return m_key;
    }
    bool Writable() const { return m_bWritable; }

private:
    static bool IsDrivePath(const std::string& name)
    {
        return name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]));
    }

    int m_fd;
    std::string m_name;
    mutable std::once_flag m_keyMade;
    mutable std::string m_key;
    bool m_bWritable;
};

DWORD ErrorFromErrno(int error, const std::string& hostPath)
{
    switch (error) {
    case ENOENT: {
        std::error_code ec;
        fs::path parent = fs::path(hostPath).parent_path();
        return parent.empty() || fs::is_directory(parent, ec) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
    }
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_FILE_EXISTS;
    case ENAMETOOLONG:
        return 206;  // ERROR_FILENAME_EXCED_RANGE
    case ENOSPC:
        return 112;  // ERROR_DISK_FULL
    case EMFILE:
    case ENFILE:
        return 4;  // ERROR_TOO_MANY_OPEN_FILES
    default:
        return ERROR_INVALID_FUNCTION;
    }
}

bool Fail(DWORD error)
{
    SetLastError(error);
    return false;
}

// A path the lab can serve, or false with the error Windows gives for an unusable one.
bool Resolve(LPCSTR pszPath, bool bForWriting, std::string& hostPath)
{
    if (!pszPath || !*pszPath)
        return Fail(ERROR_PATH_NOT_FOUND);
    hostPath = lab::host::Host::Instance().TheDrives().HostPath(pszPath, bForWriting);
    if (hostPath.empty())
        return Fail(ERROR_PATH_NOT_FOUND);
    return true;
}

// Opens the file, creating it when it is not there, and tells which it was: the common case, an existing file,
// is one call.
int OpenAlways(const std::string& path, int flags, bool& bExisted)
{
    for (;;) {
        int fd = open(path.c_str(), flags);
        if (fd >= 0 || errno != ENOENT) {
            bExisted = fd >= 0;
            return fd;
        }
        fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
        if (fd >= 0 || errno != EEXIST) {
            bExisted = false;
            return fd;
        }
        // Created by someone else in between: open it as an existing one.
    }
}

std::shared_ptr<FileObject> LookupFile(HANDLE hFile)
{
    auto pFile = lab::win32::LookupHandleAs<FileObject>(hFile);
    if (!pFile)
        SetLastError(ERROR_INVALID_HANDLE);
    return pFile;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD, HANDLE)
{
    if (lab::win32::IsDevicePath(lpFileName))
        return lab::win32::OpenDevice(lpFileName);
    bool bWrite = (dwDesiredAccess & (GENERIC_WRITE | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    bool bRead = (dwDesiredAccess & GENERIC_READ) != 0 || !bWrite;
    // The right to append without the right to write: every write goes to the end of the file as it is then,
    // whatever the file pointer says, so that writers sharing a file never overwrite each other.
    bool bAppendOnly = (dwDesiredAccess & FILE_APPEND_DATA) != 0 &&
                       (dwDesiredAccess & (GENERIC_WRITE | FILE_WRITE_DATA)) == 0;
    bool bCreates = dwCreationDisposition != OPEN_EXISTING;
    std::string path;
    if (!Resolve(lpFileName, bWrite || bCreates, path))
        return INVALID_HANDLE_VALUE;

    int flags = O_CLOEXEC | (bRead && bWrite ? O_RDWR : bWrite ? O_WRONLY : O_RDONLY) | (bAppendOnly ? O_APPEND : 0);
    bool bExisted = false;
    int fd = -1;
    switch (dwCreationDisposition) {
    case CREATE_NEW:
        fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0644);
        break;
    case CREATE_ALWAYS:
    case OPEN_ALWAYS:
        fd = OpenAlways(path, flags | (dwCreationDisposition == CREATE_ALWAYS ? O_TRUNC : 0), bExisted);
        break;
    case OPEN_EXISTING:
        fd = open(path.c_str(), flags);
        break;
    case TRUNCATE_EXISTING:
        fd = open(path.c_str(), flags | O_TRUNC);
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (fd < 0) {
        int error = errno;
        std::error_code ec;
        SetLastError(fs::is_directory(path, ec) ? ERROR_ACCESS_DENIED : ErrorFromErrno(error, path));
        return INVALID_HANDLE_VALUE;
    }
    // A directory opened for reading only is told apart here; any other open of one failed above.
    struct stat st {};
    if (!bWrite && fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = lab::win32::InsertHandle(
        std::make_shared<FileObject>(fd, lpFileName, bWrite));
    // Windows reports an existing file for the two "always" dispositions, even on success.
    bool bReportsExisting = dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
    SetLastError(bReportsExisting && bExisted ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return h;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED)
{
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    auto pFile = LookupFile(hFile);
    if (!pFile)
        return FALSE;
    DWORD total = 0;
    auto* pOut = static_cast<char*>(lpBuffer);
    while (total < nNumberOfBytesToRead) {
        ssize_t n = read(pFile->Fd(), pOut + total, nNumberOfBytesToRead - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Fail(ErrorFromErrno(errno, ""));
        if (n == 0)
            break;
        total += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = total;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED)
{
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    auto pFile = LookupFile(hFile);
    if (!pFile)
        return FALSE;
    DWORD total = 0;
    const auto* pIn = static_cast<const char*>(lpBuffer);
    while (total < nNumberOfBytesToWrite) {
        ssize_t n = write(pFile->Fd(), pIn + total, nNumberOfBytesToWrite - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            if (lpNumberOfBytesWritten)
                *lpNumberOfBytesWritten = total;
            return Fail(ErrorFromErrno(errno, ""));
        }
        total += static_cast<DWORD>(n);
    }
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = total;
    return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh)
{
    auto pFile = LookupFile(hFile);
    struct stat st {};
    if (!pFile || fstat(pFile->Fd(), &st) != 0) {
        if (pFile)
            SetLastError(ErrorFromErrno(errno, ""));
        return INVALID_FILE_SIZE;
    }
    auto size = static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);  // lets callers tell a real 0xFFFFFFFF size from a failure
    return static_cast<DWORD>(size);
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime)
{
    auto pFile = LookupFile(hFile);
    if (!pFile)
        return FALSE;
    struct statx stx {};
    if (statx(pFile->Fd(), "", AT_EMPTY_PATH, STATX_BTIME | STATX_ATIME | STATX_MTIME, &stx) != 0)
        return Fail(ErrorFromErrno(errno, ""));
    auto fileTime = [](const statx_timestamp& ts) { return lab::host::FileTimeFromUnix(ts.tv_sec, ts.tv_nsec); };
    uint64_t creation = 0;
    if (!lab::host::Host::Instance().TheFileTimes().Creation(pFile->Key(), creation))
        // Some file systems (overlays among them) claim a birth time and report the epoch.
        creation = fileTime((stx.stx_mask & STATX_BTIME) && stx.stx_btime.tv_sec != 0 ? stx.stx_btime
                                                                                       : stx.stx_mtime);
    auto store = [](LPFILETIME p, uint64_t value) {
        if (p) {
            p->dwLowDateTime = static_cast<DWORD>(value);
            p->dwHighDateTime = static_cast<DWORD>(value >> 32);
        }
    };
    store(lpCreationTime, creation);
    store(lpLastAccessTime, fileTime(stx.stx_atime));
    store(lpLastWriteTime, fileTime(stx.stx_mtime));
    return TRUE;
}

BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                        const FILETIME* lpLastWriteTime)
{
    auto pFile = LookupFile(hFile);
    if (!pFile)
        return FALSE;
    if (!pFile->Writable())
        return Fail(ERROR_ACCESS_DENIED);
    // Zero leaves a time alone; all ones (stop updating it for this handle) is taken the same way here.
    auto given = [](const FILETIME* p, uint64_t& value) {
        value = p ? (static_cast<uint64_t>(p->dwHighDateTime) << 32) | p->dwLowDateTime : 0;
        return value != 0 && value != ~uint64_t(0);
    };
    uint64_t value = 0;
    timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_OMIT}};
    const FILETIME* pTimes[2] = {lpLastAccessTime, lpLastWriteTime};
    for (int i = 0; i < 2; ++i) {
        if (!given(pTimes[i], value))
            continue;
        int64_t seconds = 0, nanoseconds = 0;
        lab::host::UnixFromFileTime(value, seconds, nanoseconds);
        times[i].tv_sec = static_cast<time_t>(seconds);
        times[i].tv_nsec = static_cast<long>(nanoseconds);
    }
    if (futimens(pFile->Fd(), times) != 0)
        return Fail(ErrorFromErrno(errno, ""));
    if (given(lpCreationTime, value))
        lab::host::Host::Instance().TheFileTimes().SetCreation(pFile->Key(), value);
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod)
{
    auto pFile = LookupFile(hFile);
    if (!pFile)
        return INVALID_SET_FILE_POINTER;
    int64_t distance = lpDistanceToMoveHigh
                           ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                                  static_cast<uint32_t>(lDistanceToMove))
                           : lDistanceToMove;
    int whence = dwMoveMethod == FILE_END ? SEEK_END : dwMoveMethod == FILE_CURRENT ? SEEK_CUR : SEEK_SET;
    off_t pos = lseek(pFile->Fd(), static_cast<off_t>(distance), whence);
    if (pos < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);  // Windows' answer for a negative position
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(pos) >> 32);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(pos);
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile)
{
    auto pFile = LookupFile(hFile);
    return pFile && fsync(pFile->Fd()) == 0;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName)
{
    std::string path;
    if (!Resolve(lpFileName, false, path))
        return FALSE;
    std::error_code ec;
    if (fs::is_directory(path, ec))
        return Fail(ERROR_ACCESS_DENIED);
    if (unlink(path.c_str()) != 0)
        return Fail(ErrorFromErrno(errno, path));
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags)
{
    std::string from, to;
    if (!Resolve(lpExistingFileName, false, from) || !Resolve(lpNewFileName, true, to))
        return FALSE;
    std::error_code ec;
    if (!fs::exists(from, ec))
        return Fail(ErrorFromErrno(ENOENT, from));
    if (!(dwFlags & MOVEFILE_REPLACE_EXISTING) && fs::exists(to, ec))
        return Fail(ERROR_ALREADY_EXISTS);
    if (rename(from.c_str(), to.c_str()) != 0)
        return Fail(ErrorFromErrno(errno, to));
    return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName)
{
    return MoveFileExA(lpExistingFileName, lpNewFileName, 0);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists)
{
    std::string from, to;
    if (!Resolve(lpExistingFileName, false, from) || !Resolve(lpNewFileName, true, to))
        return FALSE;
    std::error_code ec;
    if (!fs::is_regular_file(from, ec))
        return Fail(ErrorFromErrno(ENOENT, from));
    if (bFailIfExists && fs::exists(to, ec))
        return Fail(ERROR_FILE_EXISTS);
    if (!fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec))
        return Fail(ErrorFromErrno(ec.value(), to));
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName)
{
    std::string path;
    if (!Resolve(lpFileName, false, path))
        return INVALID_FILE_ATTRIBUTES;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        SetLastError(ErrorFromErrno(errno, path));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    return access(path.c_str(), W_OK) == 0 ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_READONLY;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES)
{
    std::string path;
    if (!Resolve(lpPathName, true, path))
        return FALSE;
    if (mkdir(path.c_str(), 0755) != 0)
        return Fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno, path));
    return TRUE;
}

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer)
{
    const char* pszTmp = std::getenv("TMPDIR");
    std::string tmp = pszTmp && *pszTmp == '/' ? pszTmp : "/tmp";
    while (tmp.size() > 1 && tmp.back() == '/')
        tmp.pop_back();
    std::string windows = lab::host::Drives::WindowsPath(tmp);
    if (windows.back() != '\\')
        windows += '\\';
    return lab::win32::CopyPathOut(windows, nBufferLength, lpBuffer);
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer)
{
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (ec) {
        SetLastError(ErrorFromErrno(ec.value(), ""));
        return 0;
    }
    return lab::win32::CopyPathOut(lab::host::Drives::WindowsPath(cwd.string()), nBufferLength, lpBuffer);
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName)
{
    std::string path;
    if (!Resolve(lpPathName, false, path))
        return FALSE;
    if (chdir(path.c_str()) != 0)
        return Fail(ErrorFromErrno(errno, path));
    return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR lpFilename, DWORD nSize)
{
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || nSize == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    std::string windows = lab::host::Drives::WindowsPath(exe.string());
    // Windows cuts the name to the buffer and reports the cut with ERROR_INSUFFICIENT_BUFFER.
    size_t copied = std::min<size_t>(windows.size(), nSize - 1);
    std::memcpy(lpFilename, windows.data(), copied);
    lpFilename[copied] = '\0';
    SetLastError(copied < windows.size() ? ERROR_INSUFFICIENT_BUFFER : ERROR_SUCCESS);
    return copied < windows.size() ? nSize : static_cast<DWORD>(copied);
}

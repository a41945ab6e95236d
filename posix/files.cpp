// Files for the host build: the 16-bit style handle calls map onto file
// descriptors. A file without write permission counts as read-only even for
// root, as a read-only attribute does on Windows.
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

static DWORD s_lastError;

static HFILE Fail()
{
    s_lastError = (DWORD)errno;
    return HFILE_ERROR;
}

DWORD GetLastError()
{
    return s_lastError;
}

// Our code writes Windows paths; a backslash separates folders here too.
struct PosixPath {
    char text[4096];
    explicit PosixPath(const char *path)
    {
        size_t i = 0;
        for (; path[i] && i < sizeof text - 1; i++)
            text[i] = path[i] == '\\' ? '/' : path[i];
        text[i] = 0;
    }
};

static bool IsReadOnly(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && (st.st_mode & 0222) == 0;
}

HFILE _lopen(LPCSTR windowsPath, int mode)
{
    PosixPath converted(windowsPath);
    const char *path = converted.text;
    int flags = O_RDONLY;
    if ((mode & 3) == OF_WRITE)
        flags = O_WRONLY;
    else if ((mode & 3) == OF_READWRITE)
        flags = O_RDWR;
    if (flags != O_RDONLY && IsReadOnly(path)) {
        errno = EACCES;
        return Fail();
    }
    int fd = open(path, flags | O_CLOEXEC);
    if (fd < 0)
        return Fail();
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        errno = EISDIR;
        return Fail();
    }
    return fd;
}

HFILE _lcreat(LPCSTR windowsPath, int attributes)
{
    PosixPath converted(windowsPath);
    const char *path = converted.text;
    if (IsReadOnly(path)) {
        errno = EACCES;
        return Fail();
    }
    mode_t mode = (attributes & 1) ? 0444 : 0666;
    int fd = open(path, O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    return fd < 0 ? Fail() : fd;
}

UINT _lread(HFILE file, LPVOID buffer, UINT count)
{
    UINT done = 0;
    while (done < count) {
        ssize_t n = read(file, (char *)buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return (UINT)Fail();
        if (n == 0)
            break;
        done += (UINT)n;
    }
    return done;
}

UINT _lwrite(HFILE file, LPCSTR buffer, UINT count)
{
    UINT done = 0;
    while (done < count) {
        ssize_t n = write(file, buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return done ? done : (UINT)Fail();
        done += (UINT)n;
    }
    return done;
}

LONG _llseek(HFILE file, LONG offset, int origin)
{
    int whence = origin == FILE_END ? SEEK_END : origin == FILE_CURRENT ? SEEK_CUR : SEEK_SET;
    off_t at = lseek(file, offset, whence);
    if (at < 0 || at > 0x7FFFFFFF)
        return Fail();
    return (LONG)at;
}

HFILE _lclose(HFILE file)
{
    return close(file) == 0 ? 0 : Fail();
}

BOOL DeleteFileA(LPCSTR path)
{
    return unlink(PosixPath(path).text) == 0 ? TRUE : (Fail(), FALSE);
}

BOOL MoveFileA(LPCSTR windowsFrom, LPCSTR windowsTo)
{
    PosixPath from(windowsFrom), to(windowsTo);
    if (access(to.text, F_OK) == 0) {
        errno = EEXIST;
        return (Fail(), FALSE);
    }
    return rename(from.text, to.text) == 0 ? TRUE : (Fail(), FALSE);
}

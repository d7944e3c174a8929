#include "rtl/FileStream.h"

#include "rtl/Exceptions.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rtl {

namespace {

int OpenFlags(TFileOpenMode mode) {
    switch (mode) {
    case TFileOpenMode::fmOpenRead:
        return O_RDONLY;
    case TFileOpenMode::fmOpenWrite:
        return O_WRONLY;
    case TFileOpenMode::fmOpenReadWrite:
        return O_RDWR;
    case TFileOpenMode::fmCreate:
        return O_RDWR | O_CREAT | O_TRUNC;
    }
    return O_RDONLY;
}

int Whence(TSeekOrigin origin) {
    switch (origin) {
    case TSeekOrigin::soBeginning:
        return SEEK_SET;
    case TSeekOrigin::soCurrent:
        return SEEK_CUR;
    case TSeekOrigin::soEnd:
        return SEEK_END;
    }
    return SEEK_SET;
}

// Reads or writes until count bytes have moved, the end is reached or the call fails; returns the
// bytes moved. Interrupted calls are repeated.
template <class Call, class Buffer> std::int64_t Transfer(Call call, int fd, Buffer* p, std::int64_t count) {
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = call(fd, p + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += n;
    }
    return done;
}

} // namespace

TFileStream::TFileStream(const UnicodeString& fileName, TFileOpenMode mode, TFileShareMode /*share*/)
    : _szFileName(fileName) {
    // Without O_NONBLOCK a FIFO would stall the open itself until a writer came.
    int fd = ::open(StringToNative(fileName).c_str(), OpenFlags(mode) | O_NONBLOCK | O_CLOEXEC, 0666);
    int error = errno;
    struct stat st {};
    // A folder opens for reading on POSIX, but is no file to stream; nor is a FIFO or a device.
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        error = S_ISDIR(st.st_mode) ? EISDIR : 0;
        ::close(fd);
        fd = -1;
    }
    if (fd >= 0) {
        // Regular files never block; clearing the flag keeps later reads and writes plain.
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    if (fd < 0) {
        UnicodeString reason =
            error == 0 ? UnicodeString(u"It is not a regular file.") : Utf8ToString(std::strerror(error));
        if (mode == TFileOpenMode::fmCreate) {
            throw EFCreateError(u"Cannot create file \"" + fileName + u"\". " + reason);
        }
        throw EFOpenError(u"Cannot open file \"" + fileName + u"\". " + reason);
    }
    _hFile = fd;
}

TFileStream::~TFileStream() {
    if (_hFile >= 0) {
        ::close(static_cast<int>(_hFile));
    }
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
    return Transfer(::read, static_cast<int>(_hFile), static_cast<char*>(buffer), count);
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
    return Transfer(::write, static_cast<int>(_hFile), static_cast<const char*>(buffer), count);
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    off_t pos = ::lseek(static_cast<int>(_hFile), static_cast<off_t>(offset), Whence(origin));
    return pos < 0 ? -1 : static_cast<std::int64_t>(pos);
}

} // namespace rtl

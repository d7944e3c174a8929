// TFileStream on Windows: CreateFileW with the stream's share mode, so that Windows enforces it.
#include "rtl/FileStream.h"
#include "rtl/Exceptions.h"
#include "rtl/win32/Win32Support.h"
#include <algorithm>

namespace rtl {

namespace {

DWORD Access(TFileOpenMode mode) {
    switch (mode) {
    case TFileOpenMode::fmOpenRead:
        return GENERIC_READ;
    case TFileOpenMode::fmOpenWrite:
        return GENERIC_WRITE;
    case TFileOpenMode::fmOpenReadWrite:
    case TFileOpenMode::fmCreate:
        return GENERIC_READ | GENERIC_WRITE;
    }
    return GENERIC_READ;
}

// The compatibility mode shares as the default sharing of the runtime's file opens did: others may
// read and write (and rename), so Sage's open files stay readable and ours do not lock Sage out.
DWORD Share(TFileShareMode share) {
    switch (share) {
    case TFileShareMode::fmShareExclusive:
        return 0;
    case TFileShareMode::fmShareDenyWrite:
        return FILE_SHARE_READ;
    case TFileShareMode::fmShareDenyRead:
        return FILE_SHARE_WRITE;
    case TFileShareMode::fmShareCompat:
    case TFileShareMode::fmShareDenyNone:
        break;
    }
    return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
}

DWORD MoveMethod(TSeekOrigin origin) {
    switch (origin) {
    case TSeekOrigin::soBeginning:
        return FILE_BEGIN;
    case TSeekOrigin::soCurrent:
        return FILE_CURRENT;
    case TSeekOrigin::soEnd:
        return FILE_END;
    }
    return FILE_BEGIN;
}

HANDLE AsHandle(std::intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

} // namespace

TFileStream::TFileStream(const UnicodeString& fileName, TFileOpenMode mode, TFileShareMode share)
    : _szFileName(fileName) {
    HANDLE h = ::CreateFileW(win32::Wide(win32::LongPath(fileName)), Access(mode), Share(share), nullptr,
                             mode == TFileOpenMode::fmCreate ? CREATE_ALWAYS : OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = h == INVALID_HANDLE_VALUE ? ::GetLastError() : 0;
    // Only disk files are streams: a named pipe, a console or another device is refused.
    if (h != INVALID_HANDLE_VALUE && ::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
    }
    if (h == INVALID_HANDLE_VALUE) {
        UnicodeString reason = error == 0 ? UnicodeString(u"It is not a regular file.") : win32::SystemMessage(error);
        if (mode == TFileOpenMode::fmCreate)
            throw EFCreateError(u"Cannot create file \"" + fileName + u"\". " + reason);
        throw EFOpenError(u"Cannot open file \"" + fileName + u"\". " + reason);
    }
    _hFile = reinterpret_cast<std::intptr_t>(h);
}

TFileStream::~TFileStream() {
    if (_hFile != -1)
        ::CloseHandle(AsHandle(_hFile));
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
    std::int64_t done = 0;
    while (done < count) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::int64_t>(count - done, 1 << 30));
        if (!::ReadFile(AsHandle(_hFile), static_cast<char*>(buffer) + done, want, &n, nullptr) || n == 0)
            break;
        done += n;
    }
    return done;
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
    std::int64_t done = 0;
    while (done < count) {
        DWORD n = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::int64_t>(count - done, 1 << 30));
        if (!::WriteFile(AsHandle(_hFile), static_cast<const char*>(buffer) + done, want, &n, nullptr) || n == 0)
            break;
        done += n;
    }
    return done;
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position{};
    if (!::SetFilePointerEx(AsHandle(_hFile), distance, &position, MoveMethod(origin)))
        return -1;
    return position.QuadPart;
}

} // namespace rtl

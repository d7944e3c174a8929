#pragma once
// A file opened with an open mode and a share mode. Share modes are enforced on Windows and
// ignored elsewhere (POSIX has no mandatory sharing).
#include "RtlApi.h"
#include "Stream.h"

#include <cstdint>

namespace rtl {

enum class TFileOpenMode { fmOpenRead, fmOpenReadWrite, fmOpenWrite, fmCreate };
enum class TFileShareMode {
    fmShareCompat,
    fmShareExclusive,
    fmShareDenyWrite,
    fmShareDenyRead,
    fmShareDenyNone
};

class RTL_API TFileStream : public TStream {
public:
    /// Opens the file; raises EFOpenError (or EFCreateError for fmCreate) naming the file on failure.
    TFileStream(const UnicodeString& fileName, TFileOpenMode mode,
                TFileShareMode share = TFileShareMode::fmShareCompat);
    ~TFileStream() override;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    const UnicodeString& FileName() const noexcept { return _szFileName; }

private:
    UnicodeString _szFileName;
    std::intptr_t _hFile = -1;
};

} // namespace rtl

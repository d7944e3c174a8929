#pragma once
// Byte streams: the abstract stream and an in-memory one.
#include "ObjectHooks.h"
#include "RtlApi.h"
#include "UnicodeString.h"

#include <cstdint>

namespace rtl {

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

class RTL_API TStream : public TObject {
public:
    /// Reads up to count bytes; returns how many were read (0 at the end or on a failed read).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    /// Writes up to count bytes; returns how many were written.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    /// Moves the position; returns the new position, or -1 when the move failed.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::soBeginning); }
    std::int64_t Size();
    /// Reads from the position to the end.
    TBytes ReadToEnd();
};

class RTL_API TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(TBytes data) : _data(std::move(data)) {}
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    const TBytes& Bytes() const noexcept { return _data; }

private:
    TBytes _data;
    std::int64_t _nPos = 0;
};

} // namespace rtl

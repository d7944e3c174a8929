#include "rtl/Stream.h"

#include <algorithm>
#include <cstring>

namespace rtl {

std::int64_t TStream::Size() {
    const std::int64_t pos = Seek(0, TSeekOrigin::soCurrent);
    const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(pos, TSeekOrigin::soBeginning);
    return size;
}

TBytes TStream::ReadToEnd() {
    TBytes out;
    const std::int64_t pos = Position();
    const std::int64_t size = Size();
    if (pos >= 0 && size > pos)
        out.reserve(static_cast<std::size_t>(size - pos));
    std::uint8_t chunk[65536];
    // Read until the stream says it is exhausted rather than trusting Size (pipes and the like).
    for (;;) {
        const std::int64_t n = Read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        out.insert(out.end(), chunk, chunk + n);
    }
    return out;
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    const auto size = static_cast<std::int64_t>(_data.size());
    if (count <= 0 || _nPos >= size)
        return 0;
    const std::int64_t n = std::min(count, size - _nPos);
    std::memcpy(buffer, _data.data() + _nPos, static_cast<std::size_t>(n));
    _nPos += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0)
        return 0;
    const std::int64_t end = _nPos + count;
    if (end > static_cast<std::int64_t>(_data.size()))
        _data.resize(static_cast<std::size_t>(end)); // a gap after a seek past the end reads as zeros
    std::memcpy(_data.data() + _nPos, buffer, static_cast<std::size_t>(count));
    _nPos = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent)
        base = _nPos;
    else if (origin == TSeekOrigin::soEnd)
        base = static_cast<std::int64_t>(_data.size());
    const std::int64_t target = base + offset;
    if (target < 0)
        return -1;
    _nPos = target;
    return _nPos;
}

} // namespace rtl

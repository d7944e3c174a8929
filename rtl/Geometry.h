#pragma once
// The platform's integer and single-precision point, size and rectangle types, the ways a rectangle is
// split, and the alignments used when one rectangle is placed inside another.
#include <cstdint>

namespace rtl {

/// The platform's single-precision tolerance: two values closer than this are the same.
inline constexpr float Epsilon = 1E-40f;
/// The platform's default tolerance of a double compared with zero (1E-15 times a fuzz factor of 1000).
inline constexpr double DoubleResolution = 1E-12;

struct TPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    constexpr TPoint() = default;
    constexpr TPoint(std::int32_t ax, std::int32_t ay) : X(ax), Y(ay) {}
    friend constexpr bool operator==(const TPoint&, const TPoint&) = default;
};

struct TPointF {
    float X = 0;
    float Y = 0;
    constexpr TPointF() = default;
    constexpr TPointF(float ax, float ay) : X(ax), Y(ay) {}
    constexpr TPointF(const TPoint& p) : X(static_cast<float>(p.X)), Y(static_cast<float>(p.Y)) {}
    friend constexpr bool operator==(const TPointF&, const TPointF&) = default;
};

struct TSize {
    std::int32_t cx = 0;
    std::int32_t cy = 0;
    constexpr TSize() = default;
    constexpr TSize(std::int32_t acx, std::int32_t acy) : cx(acx), cy(acy) {}
    friend constexpr bool operator==(const TSize&, const TSize&) = default;
};

struct TSizeF {
    float cx = 0;
    float cy = 0;
    constexpr TSizeF() = default;
    constexpr TSizeF(float acx, float acy) : cx(acx), cy(acy) {}
    constexpr TSizeF(const TSize& s) : cx(static_cast<float>(s.cx)), cy(static_cast<float>(s.cy)) {}
    friend constexpr bool operator==(const TSizeF&, const TSizeF&) = default;
};

struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
    constexpr TRect() = default;
    constexpr TRect(std::int32_t l, std::int32_t t, std::int32_t r, std::int32_t b)
        : Left(l), Top(t), Right(r), Bottom(b) {}
    friend constexpr bool operator==(const TRect&, const TRect&) = default;
};

struct TRectF {
    float Left = 0;
    float Top = 0;
    float Right = 0;
    float Bottom = 0;
    constexpr TRectF() = default;
    constexpr TRectF(float l, float t, float r, float b) : Left(l), Top(t), Right(r), Bottom(b) {}
    constexpr TRectF(const TRect& r)
        : Left(static_cast<float>(r.Left)), Top(static_cast<float>(r.Top)), Right(static_cast<float>(r.Right)),
          Bottom(static_cast<float>(r.Bottom)) {}
    friend constexpr bool operator==(const TRectF&, const TRectF&) = default;
};

/// Which side of a rectangle a split keeps: the part at the left, right, top or bottom.
enum class TSplitRectType { srLeft, srRight, srTop, srBottom };

/// Where a rectangle goes across its bounds.
enum class THorzRectAlign { Center, Left, Right };
/// Where a rectangle goes down its bounds.
enum class TVertRectAlign { Center, Top, Bottom };

} // namespace rtl

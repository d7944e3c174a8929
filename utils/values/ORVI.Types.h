#pragma once
// Point, size and rectangle values in double precision (TPointD, TSizeD, TRectD) and 64-bit integers
// (TPoint64, TSize64, TRect64) with the arithmetic and layout helpers of the platform's own types, and
// TBoundsD, a persistent rectangle that tells its owner when it changes.
//
// Integer arithmetic wraps around at the ends of the 64-bit range, as the counters do.
//
// The two precisions share one template each. Operations whose answer is a real number (lengths,
// angles, mid points, scaling by a real factor) answer in double precision for both.
#include "utils/UtilsApi.h"

#include "rtl/FormatSettings.h"
#include "rtl/Geometry.h"
#include "rtl/Method.h"
#include "rtl/Persistent.h"
#include "rtl/UnicodeString.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <type_traits>
#include <utility>

namespace rtl {
class TReader;
class TWriter;
class TFiler;
} // namespace rtl

namespace orvi {

using TPointDType = double;
using TPoint64Type = std::int64_t;

namespace types_detail {

/// A real rounded to a whole number, saturated at the ends of the 64-bit range (NaN gives 0), so that
/// no input makes the conversion undefined.
inline std::int64_t ToInt64(double v) {
    if (std::isnan(v))
        return 0;
    if (v <= -9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::min();
    if (v >= 9223372036854775808.0)
        return std::numeric_limits<std::int64_t>::max();
    return static_cast<std::int64_t>(v);
}

/// Nearest whole number, halves to even.
inline double RoundEven(double v) {
    return v - std::remainder(v, 1.0);
}

template <class T> constexpr bool IsReal = std::is_floating_point_v<T>;

// Integer sides wrap around at the ends of their range, as the counters do, instead of overflowing
// (which would be undefined); real sides use plain arithmetic.
template <class T> constexpr T WrapAdd(T a, T b) {
    if constexpr (IsReal<T>)
        return a + b;
    else
        return static_cast<T>(static_cast<std::make_unsigned_t<T>>(a) + static_cast<std::make_unsigned_t<T>>(b));
}
template <class T> constexpr T WrapSub(T a, T b) {
    if constexpr (IsReal<T>)
        return a - b;
    else
        return static_cast<T>(static_cast<std::make_unsigned_t<T>>(a) - static_cast<std::make_unsigned_t<T>>(b));
}
template <class T> constexpr T WrapMul(T a, T b) {
    if constexpr (IsReal<T>)
        return a * b;
    else
        return static_cast<T>(static_cast<std::make_unsigned_t<T>>(a) * static_cast<std::make_unsigned_t<T>>(b));
}
template <class T> constexpr T WrapNeg(T a) {
    return WrapSub(T(0), a);
}
/// A single-precision side as T: integers truncated toward zero and saturated as ToInt64 does.
template <class T> constexpr T FromReal(float v) {
    if constexpr (IsReal<T>)
        return static_cast<T>(v);
    else
        return ToInt64(static_cast<double>(v));
}

} // namespace types_detail

template <class T> struct TPointT;
template <class T> struct TSizeT;
template <class T> struct TRectT;

using TPointD = TPointT<double>;
using TPoint64 = TPointT<std::int64_t>;
using TSizeD = TSizeT<double>;
using TSize64 = TSizeT<std::int64_t>;
using TRectD = TRectT<double>;
using TRect64 = TRectT<std::int64_t>;
using PPointD = TPointD*;
using PPoint64 = TPoint64*;
using PSizeD = TSizeD*;
using PSize64 = TSize64*;
using PRectD = TRectD*;
using PRect64 = TRect64*;

namespace types_detail {
// The layout of real rectangles, behind the members of the same names.
UTILS_API TRectD SnapToPixel(const TRectD& r, double scale, bool placeBetweenPixels);
UTILS_API TRectD CenterAt(const TRectD& r, const TRectD& bounds);
UTILS_API double Fit(TRectD& r, const TRectD& bounds);
UTILS_API TRectD FitInto(const TRectD& r, const TRectD& bounds, double& ratio);
UTILS_API TRectD PlaceInto(const TRectD& r, const TRectD& bounds, rtl::THorzRectAlign h, rtl::TVertRectAlign v);
} // namespace types_detail

// --- Points ------------------------------------------------------------------------------------------------
template <class T> struct TPointT {
    T X = 0;
    T Y = 0;

    constexpr TPointT() = default;
    constexpr TPointT(T ax, T ay) : X(ax), Y(ay) {}
    constexpr TPointT(const rtl::TPoint& p) : X(p.X), Y(p.Y) {}
    constexpr TPointT(const rtl::TPointF& p) : X(types_detail::FromReal<T>(p.X)), Y(types_detail::FromReal<T>(p.Y)) {}
    static constexpr TPointT Create(T ax, T ay) { return {ax, ay}; }
    static constexpr TPointT Create(const TPointT& p) { return p; }

    constexpr TPointT Add(const TPointT& p) const { return {types_detail::WrapAdd(X, p.X), types_detail::WrapAdd(Y, p.Y)}; }
    constexpr TPointT Subtract(const TPointT& p) const {
        return {types_detail::WrapSub(X, p.X), types_detail::WrapSub(Y, p.Y)};
    }
    friend constexpr TPointT operator+(const TPointT& a, const TPointT& b) { return a.Add(b); }
    friend constexpr TPointT operator-(const TPointT& a, const TPointT& b) { return a.Subtract(b); }
    constexpr TPointT operator-() const { return {types_detail::WrapNeg(X), types_detail::WrapNeg(Y)}; }
    /// Component-wise product.
    friend constexpr TPointT operator*(const TPointT& a, const TPointT& b) {
        return {types_detail::WrapMul(a.X, b.X), types_detail::WrapMul(a.Y, b.Y)};
    }
    friend constexpr TPointD operator*(const TPointT& a, double f) { return {a.X * f, a.Y * f}; }
    friend constexpr TPointD operator*(double f, const TPointT& a) { return a * f; }
    friend constexpr TPointD operator/(const TPointT& a, double f) { return {a.X / f, a.Y / f}; }
    constexpr TPointD Scale(double factor) const { return *this * factor; }
    friend constexpr bool operator==(const TPointT&, const TPointT&) = default;

    /// Each component within epsilon of p's.
    bool EqualsTo(const TPointT& p, double epsilon = 0) const
        requires types_detail::IsReal<T>
    {
        return std::abs(X - p.X) <= epsilon && std::abs(Y - p.Y) <= epsilon;
    }
    /// Both components 0 (within rtl::DoubleResolution for reals).
    bool IsZero() const {
        if constexpr (types_detail::IsReal<T>)
            return std::abs(X) <= rtl::DoubleResolution && std::abs(Y) <= rtl::DoubleResolution;
        else
            return X == 0 && Y == 0;
    }
    void Zero() { X = Y = 0; }
    void Offset(T dx, T dy) { X = types_detail::WrapAdd(X, dx), Y = types_detail::WrapAdd(Y, dy); }
    void Offset(const TPointT& p) { Offset(p.X, p.Y); }
    void SetLocation(T ax, T ay) { X = ax, Y = ay; }
    void SetLocation(const TPointT& p) { *this = p; }

    double Distance(const TPointT& p) const { return std::hypot(double(X) - double(p.X), double(Y) - double(p.Y)); }
    double Length() const { return std::hypot(double(X), double(Y)); }
    /// This point divided by its length; a point of length 0 comes back unchanged.
    TPointD Normalize() const {
        const double len = Length();
        return len == 0 ? TPointD(double(X), double(Y)) : TPointD(X / len, Y / len);
    }
    double DotProduct(const TPointT& p) const { return double(X) * double(p.X) + double(Y) * double(p.Y); }
    double CrossProduct(const TPointT& p) const { return double(X) * double(p.Y) - double(Y) * double(p.X); }
    TPointD MidPoint(const TPointT& p) const { return {(double(X) + double(p.X)) / 2, (double(Y) + double(p.Y)) / 2}; }
    /// Direction from p to this point, in radians.
    double Angle(const TPointT& p) const { return std::atan2(double(Y) - double(p.Y), double(X) - double(p.X)); }
    /// Cosine of the angle between the two vectors; 0 when either has no length.
    double AngleCosine(const TPointT& p) const {
        const double lengths = Length() * p.Length();
        return lengths == 0 ? 0 : std::clamp(DotProduct(p) / lengths, -1.0, 1.0);
    }
    /// Rotated about the origin by angle radians.
    TPointD Rotate(double angle) const {
        const double s = std::sin(angle), c = std::cos(angle);
        return {X * c - Y * s, X * s + Y * c};
    }
    /// Mirrored across the line whose normal is given.
    TPointD Reflect(const TPointT& normal) const {
        const double k = -2 * DotProduct(normal);
        return {X + normal.X * k, Y + normal.Y * k};
    }
    /// True when point lies within radius of centre; a point on the circle counts as inside.
    static bool PointInCircle(const TPointT& point, const TPointT& centre, std::int32_t radius) {
        const double dx = double(point.X) - double(centre.X), dy = double(point.Y) - double(centre.Y);
        return radius >= 0 && dx * dx + dy * dy <= double(radius) * double(radius);
    }

    TPoint64 Ceiling() const requires types_detail::IsReal<T> { return Map([](double v) { return std::ceil(v); }); }
    /// Nearest, halves to even.
    TPoint64 Round() const requires types_detail::IsReal<T> { return Map(types_detail::RoundEven); }
    TPoint64 Truncate() const requires types_detail::IsReal<T> { return Map([](double v) { return std::trunc(v); }); }
    /// Each component rounded to the pixel grid of scale (1 when scale is not above 0); with
    /// placeBetweenPixels, then moved by half of scale.
    TPointT SnapToPixel(double scale, bool placeBetweenPixels = false) const
        requires types_detail::IsReal<T>
    {
        const double s = scale > 0 ? scale : 1;
        TPointT p(types_detail::RoundEven(X * s) / s, types_detail::RoundEven(Y * s) / s);
        if (placeBetweenPixels)
            p.Offset(s / 2, s / 2);
        return p;
    }

private:
    template <class F> TPoint64 Map(F f) const { return {types_detail::ToInt64(f(X)), types_detail::ToInt64(f(Y))}; }
};

// --- Sizes -------------------------------------------------------------------------------------------------
template <class T> struct TSizeT {
    T cx = 0;
    T cy = 0;

    constexpr TSizeT() = default;
    constexpr TSizeT(T acx, T acy) : cx(acx), cy(acy) {}
    constexpr TSizeT(const TPointT<T>& p) : cx(p.X), cy(p.Y) {}
    constexpr TSizeT(const rtl::TSize& s) : cx(s.cx), cy(s.cy) {}
    constexpr TSizeT(const rtl::TSizeF& s) : cx(types_detail::FromReal<T>(s.cx)), cy(types_detail::FromReal<T>(s.cy)) {}
    constexpr TSizeT(const rtl::TPoint& p) : cx(p.X), cy(p.Y) {}
    constexpr TSizeT(const rtl::TPointF& p) : cx(types_detail::FromReal<T>(p.X)), cy(types_detail::FromReal<T>(p.Y)) {}
    static constexpr TSizeT Create(T acx, T acy) { return {acx, acy}; }
    constexpr operator TPointT<T>() const { return {cx, cy}; }
    constexpr rtl::TSizeF ToSizeF() const { return {static_cast<float>(cx), static_cast<float>(cy)}; }

    constexpr TSizeT Add(const TSizeT& s) const { return {types_detail::WrapAdd(cx, s.cx), types_detail::WrapAdd(cy, s.cy)}; }
    constexpr TSizeT Subtract(const TSizeT& s) const {
        return {types_detail::WrapSub(cx, s.cx), types_detail::WrapSub(cy, s.cy)};
    }
    friend constexpr TSizeT operator+(const TSizeT& a, const TSizeT& b) { return a.Add(b); }
    friend constexpr TSizeT operator-(const TSizeT& a, const TSizeT& b) { return a.Subtract(b); }
    friend constexpr bool operator==(const TSizeT&, const TSizeT&) = default;
    double Distance(const TSizeT& s) const { return TPointT<T>(*this).Distance(s); }
    bool IsZero() const { return TPointT<T>(*this).IsZero(); }
    /// cx and cy exchanged.
    constexpr TSizeT SwapDimensions() const { return {cy, cx}; }
    TSize64 Ceiling() const requires types_detail::IsReal<T> { return TPointT<T>(*this).Ceiling(); }
    TSize64 Round() const requires types_detail::IsReal<T> { return TPointT<T>(*this).Round(); }
    TSize64 Truncate() const requires types_detail::IsReal<T> { return TPointT<T>(*this).Truncate(); }
};

// --- Rectangles --------------------------------------------------------------------------------------------
template <class T> struct TRectT {
    T Left = 0;
    T Top = 0;
    T Right = 0;
    T Bottom = 0;

    constexpr TRectT() = default;
    constexpr TRectT(T l, T t, T r, T b) : Left(l), Top(t), Right(r), Bottom(b) {}
    /// An empty rectangle at origin.
    constexpr explicit TRectT(const TPointT<T>& origin) : TRectT(origin.X, origin.Y, origin.X, origin.Y) {}
    constexpr TRectT(const TPointT<T>& origin, T width, T height)
        : TRectT(origin.X, origin.Y, types_detail::WrapAdd(origin.X, width), types_detail::WrapAdd(origin.Y, height)) {}
    TRectT(const TPointT<T>& p1, const TPointT<T>& p2, bool normalize = false) : TRectT(p1.X, p1.Y, p2.X, p2.Y) {
        if (normalize)
            NormalizeRect();
    }
    TRectT(const TRectT& r, bool normalize) : TRectT(r) {
        if (normalize)
            NormalizeRect();
    }
    constexpr TRectT(const rtl::TRect& r) : TRectT(r.Left, r.Top, r.Right, r.Bottom) {}
    constexpr TRectT(const rtl::TRectF& r)
        : TRectT(types_detail::FromReal<T>(r.Left), types_detail::FromReal<T>(r.Top), types_detail::FromReal<T>(r.Right),
                 types_detail::FromReal<T>(r.Bottom)) {}
    template <class... A> static TRectT Create(A&&... args) { return TRectT(std::forward<A>(args)...); }
    constexpr rtl::TRectF ToRectF() const {
        return {static_cast<float>(Left), static_cast<float>(Top), static_cast<float>(Right), static_cast<float>(Bottom)};
    }
    /// The platform's integer rectangle: sides truncated toward zero and held to the 32-bit range.
    rtl::TRect ToRect() const {
        const auto side = [](T v) {
            const double d = std::clamp(std::trunc(static_cast<double>(v)), -2147483648.0, 2147483647.0);
            return static_cast<std::int32_t>(std::isnan(d) ? 0 : d);
        };
        return {side(Left), side(Top), side(Right), side(Bottom)};
    }

    constexpr TPointT<T> TopLeft() const { return {Left, Top}; }
    constexpr TPointT<T> BottomRight() const { return {Right, Bottom}; }
    void SetTopLeft(const TPointT<T>& p) { Left = p.X, Top = p.Y; }
    void SetBottomRight(const TPointT<T>& p) { Right = p.X, Bottom = p.Y; }

    constexpr T Width() const { return types_detail::WrapSub(Right, Left); }
    constexpr T Height() const { return types_detail::WrapSub(Bottom, Top); }
    void SetWidth(T w) { Right = types_detail::WrapAdd(Left, w); }
    void SetHeight(T h) { Bottom = types_detail::WrapAdd(Top, h); }
    constexpr TSizeT<T> Size() const { return {Width(), Height()}; }
    void SetSize(const TSizeT<T>& s) { SetWidth(s.cx), SetHeight(s.cy); }
    constexpr TPointT<T> Location() const { return TopLeft(); }
    /// Moves the rectangle, size kept, so that its top left is p.
    void SetLocation(const TPointT<T>& p) { Offset(types_detail::WrapSub(p.X, Left), types_detail::WrapSub(p.Y, Top)); }

    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    static constexpr TRectT Empty() { return {}; }
    /// Swaps Left/Right when Right < Left and Top/Bottom when Bottom < Top; true when it swapped.
    bool Normalize() {
        const bool swap = Right < Left || Bottom < Top;
        if (Right < Left)
            std::swap(Left, Right);
        if (Bottom < Top)
            std::swap(Top, Bottom);
        return swap;
    }
    void NormalizeRect() { Normalize(); }

    /// Left <= X < Right and Top <= Y < Bottom: the right and bottom edges are outside.
    constexpr bool Contains(const TPointT<T>& p) const { return Left <= p.X && p.X < Right && Top <= p.Y && p.Y < Bottom; }
    /// r lies inside, shared edges allowed.
    constexpr bool Contains(const TRectT& r) const {
        return Left <= r.Left && r.Right <= Right && Top <= r.Top && r.Bottom <= Bottom;
    }
    /// Overlap with area: rectangles that only touch do not intersect.
    constexpr bool IntersectsWith(const TRectT& r) const {
        return Left < r.Right && r.Left < Right && Top < r.Bottom && r.Top < Bottom;
    }
    /// The common part of a and b; all zero when they have none.
    static TRectT Intersect(const TRectT& a, const TRectT& b) {
        const TRectT r(std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
                       std::min(a.Bottom, b.Bottom));
        return r.IsEmpty() ? TRectT() : r;
    }
    void Intersect(const TRectT& r) { *this = Intersect(*this, r); }
    /// a grown to hold b when b is not empty; all zero when the outcome is empty.
    static TRectT Union(const TRectT& a, const TRectT& b) {
        TRectT r = a;
        if (!b.IsEmpty())
            r = {std::min(a.Left, b.Left), std::min(a.Top, b.Top), std::max(a.Right, b.Right),
                 std::max(a.Bottom, b.Bottom)};
        return r.IsEmpty() ? TRectT() : r;
    }
    void Union(const TRectT& r) { *this = Union(*this, r); }
    /// The smallest rectangle holding every point; all zero for none.
    static TRectT Union(std::span<const TPointT<T>> points) {
        if (points.empty())
            return {};
        TRectT r(points[0]);
        for (const TPointT<T>& p : points)
            r = {std::min(r.Left, p.X), std::min(r.Top, p.Y), std::max(r.Right, p.X), std::max(r.Bottom, p.Y)};
        return r;
    }

    void Offset(T dx, T dy) {
        using types_detail::WrapAdd;
        Left = WrapAdd(Left, dx), Right = WrapAdd(Right, dx), Top = WrapAdd(Top, dy), Bottom = WrapAdd(Bottom, dy);
    }
    void Offset(const TPointT<T>& p) { Offset(p.X, p.Y); }
    /// Grown outward by dx on the left and right and dy on the top and bottom.
    void Inflate(T dx, T dy) { Inflate(dx, dy, dx, dy); }
    void Inflate(T dl, T dt, T dr, T db) {
        using types_detail::WrapAdd, types_detail::WrapSub;
        Left = WrapSub(Left, dl), Top = WrapSub(Top, dt), Right = WrapAdd(Right, dr), Bottom = WrapAdd(Bottom, db);
    }
    TPointD CenterPoint() const { return {(double(Left) + double(Right)) / 2, (double(Top) + double(Bottom)) / 2}; }

    /// A copy with one side moved so that the part of the given kind is size wide or high.
    TRectT SplitRect(rtl::TSplitRectType kind, std::int64_t size) const
        requires(!types_detail::IsReal<T>)
    {
        TRectT r = *this;
        switch (kind) {
        case rtl::TSplitRectType::srLeft: r.Right = types_detail::WrapAdd(Left, size); break;
        case rtl::TSplitRectType::srRight: r.Left = types_detail::WrapSub(Right, size); break;
        case rtl::TSplitRectType::srTop: r.Bottom = types_detail::WrapAdd(Top, size); break;
        case rtl::TSplitRectType::srBottom: r.Top = types_detail::WrapSub(Bottom, size); break;
        }
        return r;
    }
    /// As SplitRect with the size a fraction of the width (left, right) or height (top, bottom),
    /// truncated toward zero.
    TRectT SplitRect(rtl::TSplitRectType kind, double fraction) const
        requires(!types_detail::IsReal<T>)
    {
        const bool across = kind == rtl::TSplitRectType::srLeft || kind == rtl::TSplitRectType::srRight;
        return SplitRect(kind, types_detail::ToInt64(std::trunc(double(across ? Width() : Height()) * fraction)));
    }

    /// Per-side sum.
    friend constexpr TRectT operator+(const TRectT& a, const TRectT& b) {
        using types_detail::WrapAdd;
        return {WrapAdd(a.Left, b.Left), WrapAdd(a.Top, b.Top), WrapAdd(a.Right, b.Right), WrapAdd(a.Bottom, b.Bottom)};
    }
    /// Every side scaled by f.
    friend constexpr TRectD operator*(const TRectT& a, double f) {
        return {a.Left * f, a.Top * f, a.Right * f, a.Bottom * f};
    }
    friend constexpr bool operator==(const TRectT&, const TRectT&) = default;

    bool EqualsTo(const TRectT& r, double epsilon = 0) const
        requires types_detail::IsReal<T>
    {
        return TopLeft().EqualsTo(r.TopLeft(), epsilon) && BottomRight().EqualsTo(r.BottomRight(), epsilon);
    }
    TRect64 Ceiling() const requires types_detail::IsReal<T> { return FromCorners(TopLeft().Ceiling(), BottomRight().Ceiling()); }
    TRect64 Round() const requires types_detail::IsReal<T> { return FromCorners(TopLeft().Round(), BottomRight().Round()); }
    TRect64 Truncate() const requires types_detail::IsReal<T> { return FromCorners(TopLeft().Truncate(), BottomRight().Truncate()); }

    /// Left and Top truncated to the pixel grid of scale (1 when scale is not above 0), width and height
    /// rounded to it (halves to even); with placeBetweenPixels, then moved by 1 / (2 * scale) right and down.
    TRectT SnapToPixel(double scale, bool placeBetweenPixels = false) const requires types_detail::IsReal<T> {
        return types_detail::SnapToPixel(*this, scale, placeBetweenPixels);
    }
    /// A copy moved, size kept, to the centre of bounds.
    TRectT CenterAt(const TRectT& bounds) const requires types_detail::IsReal<T> {
        return types_detail::CenterAt(*this, bounds);
    }
    /// Shrinks (never grows) this rectangle to fit bounds with its proportions kept, and centres it there.
    /// Returns the larger of width and height ratios to bounds; 1 (and no change) when bounds has no area.
    double Fit(const TRectT& bounds) requires types_detail::IsReal<T> { return types_detail::Fit(*this, bounds); }
    /// A copy scaled, down or up, until it fills bounds in one direction with its proportions kept, centred
    /// in bounds; ratio receives the scale divisor (1, and the copy unchanged, when bounds has no area).
    TRectT FitInto(const TRectT& bounds, double& ratio) const requires types_detail::IsReal<T> {
        return types_detail::FitInto(*this, bounds, ratio);
    }
    TRectT FitInto(const TRectT& bounds) const requires types_detail::IsReal<T> {
        double ratio = 0;
        return FitInto(bounds, ratio);
    }
    /// A copy shrunk by FitInto only when larger than bounds, then aligned in bounds as h and v say.
    TRectT PlaceInto(const TRectT& bounds, rtl::THorzRectAlign h = rtl::THorzRectAlign::Center,
                     rtl::TVertRectAlign v = rtl::TVertRectAlign::Center) const requires types_detail::IsReal<T> {
        return types_detail::PlaceInto(*this, bounds, h, v);
    }

private:
    static TRect64 FromCorners(const TPoint64& a, const TPoint64& b) { return {a.X, a.Y, b.X, b.Y}; }
};

// --- Free functions ----------------------------------------------------------------------------------------
constexpr TRectD RectD(double l, double t, double r, double b) { return {l, t, r, b}; }
constexpr TPointD PointD(double x, double y) { return {x, y}; }
constexpr TSizeD SizeD(double cx, double cy) { return {cx, cy}; }
constexpr TRect64 Rect64(std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b) { return {l, t, r, b}; }
constexpr TPoint64 Point64(std::int64_t x, std::int64_t y) { return {x, y}; }
constexpr TSize64 Size64(std::int64_t cx, std::int64_t cy) { return {cx, cy}; }

template <class T> constexpr T RectWidth(const TRectT<T>& r) { return r.Width(); }
template <class T> constexpr T RectHeight(const TRectT<T>& r) { return r.Height(); }
/// Moves r, size kept, so that it is centred in bounds.
UTILS_API void RectCenter(TRectD& r, const TRectD& bounds);
template <class T> constexpr bool IsRectEmpty(const TRectT<T>& r) { return r.IsEmpty(); }
/// dest := the common part of r1 and r2; true when it is not empty.
template <class T> bool IntersectRect(TRectT<T>& dest, const TRectT<T>& r1, const TRectT<T>& r2) {
    dest = TRectT<T>::Intersect(r1, r2);
    return !dest.IsEmpty();
}
inline bool IntersectRectD(TRectD& dest, const TRectD& r1, const TRectD& r2) { return IntersectRect(dest, r1, r2); }
/// dest := r1 grown to hold r2; true when it is not empty.
template <class T> bool UnionRect(TRectT<T>& dest, const TRectT<T>& r1, const TRectT<T>& r2) {
    dest = TRectT<T>::Union(r1, r2);
    return !dest.IsEmpty();
}
inline bool UnionRectD(TRectD& dest, const TRectD& r1, const TRectD& r2) { return UnionRect(dest, r1, r2); }
template <class T> bool OffsetRect(TRectT<T>& r, T dx, T dy) {
    r.Offset(dx, dy);
    return true;
}
template <class T> void InflateRect(TRectT<T>& r, T dx, T dy) { r.Inflate(dx, dy); }
/// Left and Right times dx, Top and Bottom times dy.
inline void MultiplyRect(TRectD& r, double dx, double dy) {
    r = {r.Left * dx, r.Top * dy, r.Right * dx, r.Bottom * dy};
}
template <class T> constexpr bool PtInRect(const TRectT<T>& r, const TPointT<T>& p) { return r.Contains(p); }
inline void SinCosDouble(double angle, double& s, double& c) {
    s = std::sin(angle);
    c = std::cos(angle);
}

/// "(" Left "," Top "," Right "," Bottom ")", each in the general decimal form with "." as decimal point.
UTILS_API rtl::UnicodeString RectToString(const TRectD& r);
/// Reads RectToString's form: the text is split at ",", "(" and ")", the part before "(" is skipped and
/// the next four parts are numbers read with settings (by default "." as decimal point). Raises
/// EConvertError for a part that is not a number or when fewer than four are given.
UTILS_API TRectD StringToRect(const rtl::UnicodeString& szText, const rtl::TFormatSettings& settings = {});

// --- TBoundsD ----------------------------------------------------------------------------------------------
/// A rectangle owned by an object, persistent, that calls OnChange whenever a side changes. Its sides
/// double as margins around another rectangle (MarginRect, PaddingRect).
class UTILS_API TBoundsD : public rtl::TPersistent {
public:
    explicit TBoundsD(const TRectD& defaultValue = {});

    double Left() const noexcept { return _rect.Left; }
    double Top() const noexcept { return _rect.Top; }
    double Right() const noexcept { return _rect.Right; }
    double Bottom() const noexcept { return _rect.Bottom; }
    void SetLeft(double value) { SetSide(_rect.Left, value); }
    void SetTop(double value) { SetSide(_rect.Top, value); }
    void SetRight(double value) { SetSide(_rect.Right, value); }
    void SetBottom(double value) { SetSide(_rect.Bottom, value); }
    TRectD GetRect() const noexcept { return _rect; }
    /// Sets all four sides; OnChange once when any differed.
    void SetRect(const TRectD& value);
    const TRectD& DefaultValue() const noexcept { return _defaultValue; }
    void SetDefaultValue(const TRectD& value) { _defaultValue = value; }
    rtl::TNotifyEvent OnChange;

    double Width() const noexcept { return _rect.Width(); }
    double Height() const noexcept { return _rect.Height(); }
    bool Empty() const noexcept { return _rect.IsEmpty(); }
    bool Equals(const TBoundsD* other) const noexcept { return other && _rect == other->_rect; }
    /// r grown outward by the four sides.
    TRectD MarginRect(const TRectD& r) const;
    /// r shrunk inward by the four sides.
    TRectD PaddingRect(const TRectD& r) const;
    /// All four sides 0 within rtl::Epsilon.
    bool MarginEmpty() const;
    /// "<class name> (Left,Top)-(Right,Bottom)" with two decimals and "." as decimal point.
    rtl::UnicodeString ToString() const;

    /// Copies the four sides of another TBoundsD.
    void Assign(const rtl::TPersistent* source) override;

protected:
    /// Calls OnChange when it is set.
    virtual void DoChange();
    /// Left, Top, Right and Bottom, each stored when it differs from DefaultValue by more than
    /// rtl::Epsilon; "Rect" and the whole-number forms "RectI", "LeftI", "TopI", "RightI", "BottomI" read.
    void DefineProperties(rtl::TFiler* filer) override;

private:
    void SetSide(double& side, double value);
    bool SideStored(double side, double defaultSide) const;
    void ReadLeft(rtl::TReader* r);
    void ReadTop(rtl::TReader* r);
    void ReadRight(rtl::TReader* r);
    void ReadBottom(rtl::TReader* r);
    void ReadLeftI(rtl::TReader* r);
    void ReadTopI(rtl::TReader* r);
    void ReadRightI(rtl::TReader* r);
    void ReadBottomI(rtl::TReader* r);
    void ReadRect(rtl::TReader* r);
    void ReadRectI(rtl::TReader* r);
    void WriteLeft(rtl::TWriter* w);
    void WriteTop(rtl::TWriter* w);
    void WriteRight(rtl::TWriter* w);
    void WriteBottom(rtl::TWriter* w);
    void WriteRect(rtl::TWriter* w);

    TRectD _rect;
    TRectD _defaultValue;
};

} // namespace orvi

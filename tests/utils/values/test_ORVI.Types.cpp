#include "utils/values/ORVI.Types.h"

#include "rtl/Exceptions.h"
#include "rtl/Filer.h"

#include "CommaDecimalLocale.h"

#include <gtest/gtest.h>

#include <limits>
#include <numbers>
#include <vector>

using namespace orvi;
using rtl::UnicodeString;

namespace {

void ExpectRect(const TRectD& r, double l, double t, double rt, double b) {
    EXPECT_DOUBLE_EQ(r.Left, l);
    EXPECT_DOUBLE_EQ(r.Top, t);
    EXPECT_DOUBLE_EQ(r.Right, rt);
    EXPECT_DOUBLE_EQ(r.Bottom, b);
}

TEST(Points, NormalizeKeepsTheZeroPointAndScalesOthersToUnitLength) {
    EXPECT_EQ(PointD(0, 0).Normalize(), PointD(0, 0));
    EXPECT_TRUE(PointD(3, 4).Normalize().EqualsTo(PointD(0.6, 0.8), 1e-15));
    EXPECT_TRUE(Point64(3, 4).Normalize().EqualsTo(PointD(0.6, 0.8), 1e-15));
}

TEST(Points, RotateReflectAndAngles) {
    EXPECT_TRUE(PointD(1, 0).Rotate(std::numbers::pi / 2).EqualsTo(PointD(0, 1), 1e-15));
    EXPECT_EQ(PointD(1, -1).Reflect(PointD(0, 1)), PointD(1, 1));
    EXPECT_DOUBLE_EQ(PointD(0, 1).Angle(PointD(0, 0)), std::numbers::pi / 2);
    EXPECT_DOUBLE_EQ(PointD(1, 0).AngleCosine(PointD(0, 5)), 0);
    EXPECT_DOUBLE_EQ(PointD(2, 0).AngleCosine(PointD(-7, 0)), -1);
    EXPECT_DOUBLE_EQ(PointD(0, 0).AngleCosine(PointD(1, 0)), 0);
    EXPECT_DOUBLE_EQ(PointD(1, 2).CrossProduct(PointD(3, 4)), -2);
    EXPECT_EQ(Point64(1, 2).MidPoint(Point64(2, 2)), PointD(1.5, 2));
}

TEST(Points, PointInCircleCountsTheCircleItselfAsInside) {
    EXPECT_TRUE(TPointD::PointInCircle(PointD(3, 4), PointD(0, 0), 5));
    EXPECT_TRUE(TPoint64::PointInCircle(Point64(3, 4), Point64(0, 0), 5));
    EXPECT_FALSE(TPointD::PointInCircle(PointD(3, 4.0001), PointD(0, 0), 5));
    EXPECT_FALSE(TPointD::PointInCircle(PointD(0, 0), PointD(0, 0), -1));
}

TEST(Points, RoundingAndSnapping) {
    EXPECT_EQ(PointD(2.5, -2.5).Round(), Point64(2, -2)); // halves to even
    EXPECT_EQ(PointD(3.5, -0.2).Ceiling(), Point64(4, 0));
    EXPECT_EQ(PointD(3.9, -3.9).Truncate(), Point64(3, -3));
    EXPECT_EQ(PointD(1.2, 2.7).SnapToPixel(1, true), PointD(1.5, 3.5));
    EXPECT_EQ(PointD(1.2, 2.7).SnapToPixel(0, false), PointD(1, 3));
    EXPECT_EQ(PointD(1.2, 2.7).SnapToPixel(2, true), PointD(2, 3.5)); // adds scale / 2
    // Conversions that would overflow saturate instead of being undefined.
    EXPECT_EQ(PointD(1e300, std::nan("")).Round(), Point64(INT64_MAX, 0));
}

TEST(Points, ZeroToleranceAndPlatformConversions) {
    EXPECT_TRUE(PointD(1e-13, -1e-13).IsZero());
    EXPECT_FALSE(PointD(1e-11, 0).IsZero());
    TPointD p = rtl::TPointF(1.5f, 2.5f);
    EXPECT_EQ(p, PointD(1.5, 2.5));
    TPoint64 q = rtl::TPoint(-3, 4);
    EXPECT_EQ(-q, Point64(3, -4));
    EXPECT_EQ(q * 0.5, PointD(-1.5, 2));
}

TEST(Sizes, SwapRoundAndConvert) {
    EXPECT_EQ(SizeD(1, 2).SwapDimensions(), SizeD(2, 1));
    EXPECT_EQ(SizeD(1.5, 2.5).Round(), Size64(2, 2));
    EXPECT_DOUBLE_EQ(Size64(0, 0).Distance(Size64(3, 4)), 5);
    TSizeD s = rtl::TSizeF(1, 2);
    TPointD p = s;
    EXPECT_EQ(p, PointD(1, 2));
}

TEST(Rects, EmptinessAndNormalize) {
    EXPECT_TRUE(RectD(5, 0, 5, 10).IsEmpty());
    TRectD r(10, 0, 0, 10);
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_TRUE(r.Normalize());
    ExpectRect(r, 0, 0, 10, 10);
    EXPECT_FALSE(r.IsEmpty());
    EXPECT_FALSE(r.Normalize());
    ExpectRect(TRectD(PointD(4, 4), PointD(1, 2), true), 1, 2, 4, 4);
}

TEST(Rects, ContainmentAndIntersectionEdges) {
    const TRectD r(0, 0, 10, 10);
    EXPECT_FALSE(r.Contains(PointD(10, 5)));
    EXPECT_TRUE(r.Contains(PointD(0, 0)));
    EXPECT_FALSE(PtInRect(Rect64(0, 0, 10, 10), Point64(5, 10)));
    EXPECT_FALSE(r.IntersectsWith(RectD(10, 0, 20, 10)));
    EXPECT_TRUE(r.IntersectsWith(RectD(9, 9, 20, 20)));
    EXPECT_TRUE(r.Contains(r));
    EXPECT_FALSE(r.Contains(RectD(1, 1, 11, 5)));
}

TEST(Rects, IntersectAndUnionFreeFunctions) {
    TRect64 d;
    EXPECT_TRUE(IntersectRect(d, Rect64(0, 0, 10, 10), Rect64(5, 5, 20, 20)));
    EXPECT_EQ(d, Rect64(5, 5, 10, 10));
    EXPECT_FALSE(IntersectRect(d, Rect64(0, 0, 10, 10), Rect64(10, 0, 20, 10)));
    EXPECT_EQ(d, Rect64(0, 0, 0, 0));
    TRectD u;
    EXPECT_TRUE(UnionRectD(u, RectD(0, 0, 0, 0), RectD(5, 5, 10, 10)));
    ExpectRect(u, 0, 0, 10, 10);
    // An empty second rectangle leaves the first as it is.
    EXPECT_TRUE(UnionRect(u, RectD(1, 1, 2, 2), RectD(50, 50, 50, 60)));
    ExpectRect(u, 1, 1, 2, 2);
    const std::vector<TPoint64> points{{3, 9}, {-1, 4}, {7, 2}};
    EXPECT_EQ(TRect64::Union(points), Rect64(-1, 2, 7, 9));
    EXPECT_EQ(TRect64::Union(std::span<const TPoint64>()), Rect64(0, 0, 0, 0));
}

TEST(Rects, SplitRectByKindSizeAndFraction) {
    const TRect64 r(0, 0, 100, 50);
    EXPECT_EQ(r.SplitRect(rtl::TSplitRectType::srRight, std::int64_t(30)), Rect64(70, 0, 100, 50));
    EXPECT_EQ(r.SplitRect(rtl::TSplitRectType::srBottom, 0.5), Rect64(0, 25, 100, 50));
    EXPECT_EQ(r.SplitRect(rtl::TSplitRectType::srLeft, 0.333), Rect64(0, 0, 33, 50));
    EXPECT_EQ(r.SplitRect(rtl::TSplitRectType::srTop, std::int64_t(10)), Rect64(0, 0, 100, 10));
}

TEST(Rects, SnapToPixelTruncatesTheCornerAndRoundsTheSize) {
    ExpectRect(RectD(1.7, 2.2, 4.9, 5.0).SnapToPixel(1), 1, 2, 4, 5);
    ExpectRect(RectD(1.7, 2.2, 4.9, 5.0).SnapToPixel(1, true), 1.5, 2.5, 4.5, 5.5);
    ExpectRect(RectD(1.7, 2.2, 4.9, 5.0).SnapToPixel(2, true), 1.75, 2.25, 4.75, 5.25);
}

TEST(Rects, FitShrinksOnlyAndCentres) {
    TRectD big(0, 0, 200, 100);
    EXPECT_DOUBLE_EQ(big.Fit(RectD(0, 0, 100, 100)), 2);
    ExpectRect(big, 0, 25, 100, 75);
    TRectD small(0, 0, 50, 50);
    EXPECT_DOUBLE_EQ(small.Fit(RectD(0, 0, 100, 100)), 0.5);
    ExpectRect(small, 25, 25, 75, 75);
    TRectD any(1, 2, 3, 4);
    EXPECT_DOUBLE_EQ(any.Fit(RectD(0, 0, 0, 10)), 1);
    ExpectRect(any, 1, 2, 3, 4);
}

TEST(Rects, FitIntoScalesBothWaysAndPlaceIntoNeverEnlarges) {
    const TRectD r(0, 0, 10, 5);
    const TRectD bounds(100, 100, 200, 200);
    double ratio = 0;
    ExpectRect(r.FitInto(bounds, ratio), 100, 125, 200, 175);
    EXPECT_DOUBLE_EQ(ratio, 0.1);
    ExpectRect(r, 0, 0, 10, 5);
    ExpectRect(r.PlaceInto(bounds, rtl::THorzRectAlign::Left, rtl::TVertRectAlign::Top), 100, 100, 110, 105);
    ExpectRect(r.PlaceInto(bounds, rtl::THorzRectAlign::Right, rtl::TVertRectAlign::Bottom), 190, 195, 200, 200);
    ExpectRect(r.PlaceInto(bounds), 145, 147.5, 155, 152.5);
    ExpectRect(RectD(0, 0, 400, 100).PlaceInto(bounds, rtl::THorzRectAlign::Left, rtl::TVertRectAlign::Top), 100,
               100, 200, 125);
    ExpectRect(RectD(0, 0, 0, 0).FitInto(bounds, ratio), 0, 0, 0, 0);
    EXPECT_EQ(ratio, 0);
}

TEST(Rects, CenterOffsetInflateAndConversions) {
    TRectD r(0, 0, 10, 20);
    RectCenter(r, RectD(0, 0, 100, 100));
    ExpectRect(r, 45, 40, 55, 60);
    EXPECT_EQ(r.CenterPoint(), PointD(50, 50));
    TRect64 q(0, 0, 10, 10);
    OffsetRect(q, std::int64_t(5), std::int64_t(-5));
    InflateRect(q, std::int64_t(1), std::int64_t(2));
    EXPECT_EQ(q, Rect64(4, -7, 16, 7));
    TRectD m(1, 2, 3, 4);
    MultiplyRect(m, 2, 10);
    ExpectRect(m, 2, 20, 6, 40);
    TRectD fromF = rtl::TRectF(1, 2, 3, 4);
    EXPECT_EQ(fromF.ToRectF(), rtl::TRectF(1, 2, 3, 4));
    EXPECT_EQ(RectD(1.9, -1.9, 1e12, -1e12).ToRect(), rtl::TRect(1, -1, 2147483647, -2147483647 - 1));
    EXPECT_EQ(TRect64(rtl::TRect(1, 2, 3, 4)).ToRect(), rtl::TRect(1, 2, 3, 4));
    EXPECT_EQ(RectD(1.5, 2.5, 3.5, 4.5).Round(), Rect64(2, 2, 4, 4));
}

TEST(RectText, WritesGeneralNumbersAndReadsThemBack) {
    EXPECT_EQ(RectToString(RectD(0, -1.5, 1e20, 0.1)), u"(0,-1.5,1E20,0.1)");
    ExpectRect(StringToRect(u"(0,-1.5,1E20,0.1)"), 0, -1.5, 1e20, 0.1);
    ExpectRect(StringToRect(u"1,2,3,4"), 1, 2, 3, 4);
    EXPECT_THROW(StringToRect(u"(1,x,3,4)"), rtl::EConvertError);
    EXPECT_THROW(StringToRect(u"(1,2,3)"), rtl::EConvertError);
    EXPECT_THROW(StringToRect(u""), rtl::EConvertError);
}

TEST(Rects64, ArithmeticWrapsAtTheEndsOfTheRange) {
    constexpr std::int64_t lo = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int64_t>::max();
    const TRect64 r(lo, lo, hi, hi);
    EXPECT_EQ(r.Width(), -1);
    EXPECT_EQ(-Point64(lo, 1), Point64(lo, -1));
    EXPECT_EQ(Point64(hi, 2) + Point64(1, 2), Point64(lo, 4));
    EXPECT_EQ(Point64(lo, 3) * Point64(2, 3), Point64(0, 9));
    EXPECT_EQ(Size64(lo, 0) - Size64(1, 0), Size64(hi, 0));
    TRect64 moved = r;
    moved.Offset(1, -1);
    EXPECT_EQ(moved, Rect64(lo + 1, hi, lo, hi - 1));
    moved.Inflate(1, 1);
    EXPECT_EQ(moved, Rect64(lo, hi - 1, lo + 1, hi));
    moved.SetLocation(Point64(0, 0));
    EXPECT_EQ(moved, Rect64(0, 0, 1, 1));
    EXPECT_EQ(r.SplitRect(rtl::TSplitRectType::srLeft, std::int64_t(-1)).Right, hi);
    EXPECT_EQ(r.SplitRect(rtl::TSplitRectType::srRight, lo).Left, -1);
    EXPECT_EQ(r.SplitRect(rtl::TSplitRectType::srBottom, 0.5).Top, hi);
    EXPECT_EQ(r + r, Rect64(0, 0, -2, -2));
    EXPECT_EQ(TRect64(rtl::TRectF(1e30f, -1e30f, 2.9f, -2.9f)), Rect64(hi, lo, 2, -2));
}

TEST(RectText, NumbersKeepTheirPointUnderACommaDecimalLocale) {
    UNDER_COMMA_DECIMAL_LOCALE(locale);
    EXPECT_EQ(RectToString(RectD(1.5, 2.25, 3, 4)), u"(1.5,2.25,3,4)");
    ExpectRect(StringToRect(RectToString(RectD(1.5, -2.25, 1e-7, 0.1))), 1.5, -2.25, 1e-7, 0.1);
    TBoundsD b;
    b.SetRect(RectD(1.5, 2.25, -3.75, 4));
    EXPECT_EQ(b.ToString(), u"TBoundsD (1.50,2.25)-(-3.75,4.00)");
    rtl::TWriter writer;
    writer.WriteProperties(&b);
    EXPECT_EQ(writer.Text(), u"Left = 1.5\nTop = 2.25\nRight = -3.75\nBottom = 4\n");
    TBoundsD back;
    rtl::TReader(writer.Text()).ReadProperties(&back);
    EXPECT_TRUE(back.Equals(&b));
}

class ChangeCounter : public rtl::TObject {
public:
    void Changed(rtl::TObject*) { ++count; }
    int count = 0;
};

TEST(BoundsD, ChangesNotifyOnceAndMarginsApply) {
    ChangeCounter counter;
    TBoundsD b;
    b.OnChange = rtl::TNotifyEvent(&counter, &ChangeCounter::Changed);
    EXPECT_TRUE(b.MarginEmpty());
    b.SetLeft(1);
    b.SetLeft(1);
    b.SetRect(RectD(1, 2, 3, 4));
    EXPECT_EQ(counter.count, 2);
    ExpectRect(b.MarginRect(RectD(10, 10, 20, 20)), 9, 8, 23, 24);
    ExpectRect(b.PaddingRect(RectD(10, 10, 20, 20)), 11, 12, 17, 16);
    EXPECT_EQ(b.ToString(), u"TBoundsD (1.00,2.00)-(3.00,4.00)");
    TBoundsD copy;
    copy.Assign(&b);
    EXPECT_TRUE(copy.Equals(&b));
}

TEST(BoundsD, PersistentFormStoresSidesThatDifferFromTheDefault) {
    TBoundsD b(RectD(1, 1, 1, 1));
    b.SetRect(RectD(1, 2.5, 1, -3));
    rtl::TWriter writer;
    writer.WriteProperties(&b);
    EXPECT_EQ(writer.Text(), u"Top = 2.5\nBottom = -3\n");
    TBoundsD back(RectD(1, 1, 1, 1));
    rtl::TReader(writer.Text()).ReadProperties(&back);
    EXPECT_TRUE(back.Equals(&b));
}

TEST(BoundsD, WholeNumberAndWholeRectangleFormsLoad) {
    TBoundsD b;
    rtl::TReader(u"LeftI = 3\nRectI = (1 2 3 4)\nRightI = 7\nBottom = 9.5\n").ReadProperties(&b);
    ExpectRect(b.GetRect(), 1, 2, 7, 9.5);
    rtl::TReader(u"Rect = (0.5 1 2 3)").ReadProperties(&b);
    ExpectRect(b.GetRect(), 0.5, 1, 2, 3);
    EXPECT_THROW(rtl::TReader(u"LeftI = 1.5").ReadProperties(&b), rtl::EReadError);
    EXPECT_THROW(rtl::TReader(u"Width = 1").ReadProperties(&b), rtl::EReadError);
    EXPECT_THROW(rtl::TReader(u"Rect = (1 2 3)").ReadProperties(&b), rtl::EReadError);
}

} // namespace

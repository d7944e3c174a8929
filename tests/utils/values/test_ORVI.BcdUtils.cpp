#include "utils/values/ORVI.BcdUtils.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace orvi;
using rtl::TBcd;

namespace {

const rtl::TFormatSettings kDot{};

TBcd B(rtl::UnicodeStringView s) {
    return rtl::StrToBcd(s, kDot);
}
rtl::UnicodeString S(const TBcd& v) {
    return rtl::BcdToStr(v, kDot);
}

// Exact non-negative integers, decimal digits least significant first, for checking quotients.
using TBig = std::vector<int>;

TBig Trimmed(TBig a) {
    while (a.size() > 1 && a.back() == 0)
        a.pop_back();
    return a;
}
TBig Multiply(const TBig& a, const TBig& b) {
    TBig r(a.size() + b.size(), 0);
    for (std::size_t i = 0; i < a.size(); ++i)
        for (std::size_t j = 0; j < b.size(); ++j)
            r[i + j] += a[i] * b[j];
    for (std::size_t i = 0; i + 1 < r.size(); ++i) {
        r[i + 1] += r[i] / 10;
        r[i] %= 10;
    }
    return Trimmed(r);
}
TBig Shifted(TBig a, int zeros) {
    a.insert(a.begin(), zeros, 0);
    return Trimmed(a);
}
TBig PlusOne(TBig a) {
    for (std::size_t i = 0;; ++i) {
        if (i == a.size())
            a.push_back(0);
        if (++a[i] < 10)
            break;
        a[i] = 0;
    }
    return a;
}
int Compare(const TBig& x, const TBig& y) {
    const TBig a = Trimmed(x), b = Trimmed(y);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    for (std::size_t i = a.size(); i-- > 0;)
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    return 0;
}
/// The record's magnitude as integer × 10^-places.
TBig Magnitude(const TBcd& v) {
    TBig r;
    for (int i = rtl::BcdPrecision(v) - 1; i >= 0; --i)
        r.push_back(rtl::BcdDigit(v, i));
    return Trimmed(r);
}

TBcd RandomBcd(std::mt19937& rng) {
    const int count = 1 + static_cast<int>(rng() % 20);
    std::uint8_t digits[20];
    for (int i = 0; i < count; ++i)
        digits[i] = static_cast<std::uint8_t>(rng() % 10);
    digits[0] = static_cast<std::uint8_t>(1 + rng() % 9);
    const int places = static_cast<int>(rng() % (count + 1));
    return rtl::BcdFromDigits(digits, count, places, rng() % 2);
}

} // namespace

TEST(BcdUtils, IsZeroIgnoresSignAndLayout) {
    EXPECT_TRUE(ORVI_BcdIsZero(TBcd()));
    const std::uint8_t zeros[5] = {};
    TBcd negativeZero = rtl::BcdFromDigits(zeros, 5, 2, false);
    negativeZero.SignSpecialPlaces |= 0x80;
    EXPECT_TRUE(ORVI_BcdIsZero(negativeZero));
    EXPECT_FALSE(ORVI_BcdIsZero(B(u"0.0001")));
}

TEST(BcdUtils, CompactGivesOneDigitBeforeThePoint) {
    TBcd m;
    int e = 99;
    const std::uint8_t d[] = {0, 0, 0, 1, 2, 0}; // 0.00120 as written, leading and trailing zeros held
    ORVI_BcdCompact(rtl::BcdFromDigits(d, 6, 5, false), m, e);
    EXPECT_EQ(S(m), u"1.2");
    EXPECT_EQ(e, -3);
    ORVI_BcdCompact(B(u"-12300"), m, e);
    EXPECT_EQ(S(m), u"-1.23");
    EXPECT_EQ(rtl::BcdScale(m), 2);
    EXPECT_EQ(e, 4);
    const TBcd zero = rtl::BcdFromDigits(d, 3, 1, false);
    ORVI_BcdCompact(zero, m, e);
    EXPECT_EQ(rtl::BcdPrecision(m), 3);
    EXPECT_EQ(e, 0);
}

TEST(BcdUtils, DivideKnownCases) {
    TBcd q;
    ORVI_BcdDivide(B(u"1"), B(u"3"), q);
    EXPECT_EQ(rtl::BcdPrecision(q), 61);
    EXPECT_EQ(S(q), u"0." + rtl::UnicodeString(60, u'3'));
    ORVI_BcdDivide(B(u"10"), B(u"4"), q);
    EXPECT_EQ(S(q), u"2.5");
    ORVI_BcdDivide(B(u"20"), B(u"2"), q);
    EXPECT_EQ(S(q), u"10");
    ORVI_BcdDivide(B(u"1"), B(u"40"), q);
    EXPECT_EQ(S(q), u"0.025");
    ORVI_BcdDivide(B(u"-7.5"), B(u"-7.50"), q);
    EXPECT_EQ(S(q), u"1");
    ORVI_BcdDivide(B(u"-7.5"), B(u"-1"), q);
    EXPECT_EQ(S(q), u"7.5");
    ORVI_BcdDivide(B(u"6"), B(u"-0.002"), q);
    EXPECT_EQ(S(q), u"-3000");
    ORVI_BcdDivide(B(u"1e-40"), B(u"1e30"), q); // below the last place kept
    EXPECT_EQ(S(q), u"0");
    EXPECT_FALSE(rtl::IsBcdNegative(q));
    const TBcd zero = B(u"-0.00");
    ORVI_BcdDivide(zero, B(u"3"), q);
    EXPECT_EQ(std::memcmp(&q, &zero, sizeof q), 0);
}

TEST(BcdUtils, DivideFailures) {
    TBcd q = B(u"5");
    try {
        ORVI_BcdDivide(B(u"1"), B(u"0.000"), q);
        ADD_FAILURE();
    } catch (const rtl::EDivByZero& e) {
        EXPECT_STREQ(e.what(), "Divide by Zero");
    }
    EXPECT_THROW(ORVI_BcdDivide(B(u"1e63"), B(u"0.1"), q), rtl::EBcdOverflowException);
    EXPECT_EQ(S(q), u"5");
    ORVI_BcdDivide(B(u"1e62"), B(u"0.1"), q);
    EXPECT_EQ(S(q), u"1" + rtl::UnicodeString(63, u'0'));
}

TEST(BcdUtils, DivideIsTheTruncatedExactQuotient) {
    std::mt19937 rng(4321);
    for (int i = 0; i < 1500; ++i) {
        const TBcd a = RandomBcd(rng), b = RandomBcd(rng);
        TBcd q;
        ORVI_BcdDivide(a, b, q);
        ASSERT_EQ(rtl::IsBcdNegative(q), rtl::IsBcdNegative(a) != rtl::IsBcdNegative(b)) << i;
        // |q| × |b| ≤ |a| < (|q| + ulp) × |b|, all scaled to integers.
        const int scale = rtl::BcdScale(q) + rtl::BcdScale(b) - rtl::BcdScale(a);
        const TBig A = Magnitude(a), Bm = Magnitude(b), Q = Magnitude(q);
        const TBig lhs = scale >= 0 ? Shifted(A, scale) : A;
        const TBig low = Multiply(Q, Bm), high = Multiply(PlusOne(Q), Bm);
        const TBig lo = scale >= 0 ? low : Shifted(low, -scale);
        const TBig hi = scale >= 0 ? high : Shifted(high, -scale);
        ASSERT_LE(Compare(lo, lhs), 0)
            << i << ": " << rtl::StringToUtf8(S(a) + u" / " + S(b) + u" = " + S(q));
        ASSERT_LT(Compare(lhs, hi), 0)
            << i << ": " << rtl::StringToUtf8(S(a) + u" / " + S(b) + u" = " + S(q));
        // Truncated only where the record runs out: 60 places or 64 digits.
        if (Compare(lo, lhs) != 0) {
            ASSERT_TRUE(rtl::BcdScale(q) == 60 || rtl::BcdPrecision(q) == 64) << i;
        }
    }
}

TEST(BcdUtils, FromStringFindsTheNumberInText) {
    TBcd v;
    ORVI_BcdFromString(u"Total: -1,234,567.890 GBP", v);
    EXPECT_EQ(S(v), u"-1234567.89");
    ORVI_BcdFromString(u"x1.5E3y", v);
    EXPECT_EQ(S(v), u"1500");
    ORVI_BcdFromString(u"rate 2.5e-2", v);
    EXPECT_EQ(S(v), u"0.025");
    ORVI_BcdFromString(u"costs .75", v);
    EXPECT_EQ(S(v), u"0.75");
    ORVI_BcdFromString(u"version 3. and", v);
    EXPECT_EQ(S(v), u"3");
    ORVI_BcdFromString(u"1e", v);
    EXPECT_EQ(S(v), u"1");
    rtl::TFormatSettings de;
    de.DecimalSeparator = u',';
    de.ThousandSeparator = u'.';
    ORVI_BcdFromString(u"EUR 1.234,5", v, de);
    EXPECT_EQ(S(v), u"1234.5");
}

TEST(BcdUtils, FromStringFailuresNameTheText) {
    TBcd v = B(u"42");
    for (const rtl::UnicodeString& bad :
         {rtl::UnicodeString(u"no number"), rtl::UnicodeString(u",,, - +"), rtl::UnicodeString(u""),
          rtl::UnicodeString(70, u'7'), rtl::UnicodeString(u"1e999999999999")}) {
        try {
            ORVI_BcdFromString(bad, v);
            ADD_FAILURE() << rtl::StringToUtf8(bad);
        } catch (const rtl::EConvertError& e) {
            EXPECT_EQ(rtl::UnicodeString(e.Message()), u"Unable to convert \"" + bad + u"\" to TBcd");
        }
        EXPECT_EQ(S(v), u"42");
    }
    // Long runs of separators are skipped in one pass, not rescanned from every position.
    const rtl::UnicodeString separators(2'000'000, u',');
    EXPECT_THROW(ORVI_BcdFromString(separators, v), rtl::EConvertError);
    ORVI_BcdFromString(separators + u"5", v);
    EXPECT_EQ(S(v), u"5");
}

#include "utils/values/ORVI.Uuid.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>

using namespace orvi;
using rtl::UnicodeString;

namespace {

TORVI_Uuid RandomUuid(std::mt19937& rng) {
    std::uint8_t bytes[16];
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(rng());
    return TORVI_Uuid(bytes);
}

TORVI_Uuid FromBytes(std::initializer_list<int> list) {
    std::uint8_t bytes[16] = {};
    int i = 0;
    for (int b : list)
        bytes[i++] = static_cast<std::uint8_t>(b);
    return TORVI_Uuid(bytes);
}

/// Runs fn, expecting an EConvertError with the outer message and (when given) the inner one.
template <class F> void ExpectConvertError(F fn, const char* outer, const char* inner = nullptr) {
    try {
        fn();
        ADD_FAILURE() << "no error; expected " << outer;
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), outer);
        if (inner) {
            ASSERT_NE(e.InnerException(), nullptr) << outer;
            EXPECT_EQ(std::string(e.InnerException()->what()), inner);
        }
    }
}

// clang-format off
// lookup2 as originally published: the general byte-string hash with its 12-byte blocks and the
// tail switch, read independently of the 16-byte special case in the unit.
#define MIX(a, b, c)                                                                                         \
    {                                                                                                        \
        a -= b; a -= c; a ^= (c >> 13);                                                                      \
        b -= c; b -= a; b ^= (a << 8);                                                                       \
        c -= a; c -= b; c ^= (b >> 13);                                                                      \
        a -= b; a -= c; a ^= (c >> 12);                                                                      \
        b -= c; b -= a; b ^= (a << 16);                                                                      \
        c -= a; c -= b; c ^= (b >> 5);                                                                       \
        a -= b; a -= c; a ^= (c >> 3);                                                                       \
        b -= c; b -= a; b ^= (a << 10);                                                                      \
        c -= a; c -= b; c ^= (b >> 15);                                                                      \
    }
std::uint32_t Lookup2(const std::uint8_t* k, std::uint32_t length, std::uint32_t initval) {
    std::uint32_t a = 0x9e3779b9, b = 0x9e3779b9, c = initval, len = length;
    while (len >= 12) {
        a += k[0] + (std::uint32_t(k[1]) << 8) + (std::uint32_t(k[2]) << 16) + (std::uint32_t(k[3]) << 24);
        b += k[4] + (std::uint32_t(k[5]) << 8) + (std::uint32_t(k[6]) << 16) + (std::uint32_t(k[7]) << 24);
        c += k[8] + (std::uint32_t(k[9]) << 8) + (std::uint32_t(k[10]) << 16) + (std::uint32_t(k[11]) << 24);
        MIX(a, b, c);
        k += 12;
        len -= 12;
    }
    c += length;
    switch (len) {
    case 11: c += std::uint32_t(k[10]) << 24; [[fallthrough]];
    case 10: c += std::uint32_t(k[9]) << 16; [[fallthrough]];
    case 9: c += std::uint32_t(k[8]) << 8; [[fallthrough]];
    case 8: b += std::uint32_t(k[7]) << 24; [[fallthrough]];
    case 7: b += std::uint32_t(k[6]) << 16; [[fallthrough]];
    case 6: b += std::uint32_t(k[5]) << 8; [[fallthrough]];
    case 5: b += k[4]; [[fallthrough]];
    case 4: a += std::uint32_t(k[3]) << 24; [[fallthrough]];
    case 3: a += std::uint32_t(k[2]) << 16; [[fallthrough]];
    case 2: a += std::uint32_t(k[1]) << 8; [[fallthrough]];
    case 1: a += k[0];
    }
    MIX(a, b, c);
    return c;
}
#undef MIX
// clang-format on

const UnicodeString kSample = u"6ba7b810-9dad-11d1-80b4-00c04fd430c8";

} // namespace

TEST(UuidText, EveryFormParsesBackOnRandomValues) {
    std::mt19937 rng(20261208);
    for (int i = 0; i < 2000; ++i) {
        const TORVI_Uuid u = RandomUuid(rng);
        if (std::memcmp(u.Data(), "ORVI-", 5) == 0)
            continue;
        for (const char16_t* name : {u"", u"ms", u"hex", u"base64", u"jhashpath"})
            ASSERT_EQ(TORVI_Uuid::Parse(u.Format(name)), u) << rtl::StringToUtf8(u.Format(name));
        ASSERT_EQ(TORVI_Uuid::ParseText(u.Format(u"hex")), u);
        const UnicodeString raw = u.Format(u"binary");
        ASSERT_EQ(raw.size(), 8u);
        if (raw.find(u'\0') == UnicodeString::npos) {
            ASSERT_EQ(TORVI_Uuid(raw.c_str()), u);
            ASSERT_EQ(TORVI_Uuid::Parse(raw), u);
        }
    }
}

TEST(UuidText, FormatNamesAndShapes) {
    const TORVI_Uuid u(kSample);
    EXPECT_EQ(u.Format(u""), kSample);
    EXPECT_EQ(u.Format(u"MS"), u"{6BA7B810-9DAD-11D1-80B4-00C04FD430C8}");
    EXPECT_EQ(u.Format(u"ms"), u.Format(u"Microsoft"));
    EXPECT_EQ(u.Format(u"DBHex"), u"6ba7b8109dad11d180b400c04fd430c8");
    EXPECT_EQ(u.Format(u"base::16"), u.Format(u"hex"));
    EXPECT_EQ(u.Format(u"Base:64"), u"a6e4EJ2tEdGAtADAT9QwyA==");
    EXPECT_EQ(u.Format(u"anything else"), kSample);
    const std::uint32_t h = u.JHash();
    char check[8];
    std::snprintf(check, sizeof check, "%02x\\%02x\\", (h >> 8) & 0xFF, h & 0xFF);
    EXPECT_EQ(u.Format(u"JHashPath"), rtl::Utf8ToString(check) + u.Format(u"hex"));
    EXPECT_EQ(u.Format(u"jhashpath").size(), 38u);
}

TEST(UuidText, InternalReferenceFormReadsBackThroughTheSixteenCharacterForm) {
    std::uint8_t bytes[16];
    std::memcpy(bytes, "ORVI-Config\xE9\x01\x7F\x80\xFF", 16);
    const TORVI_Uuid u(bytes);
    const UnicodeString text = u.Format(u"");
    ASSERT_EQ(text.substr(0, 20), u"Internal Reference: ");
    EXPECT_EQ(TORVI_Uuid::Parse(text.substr(20)), u);
    EXPECT_THROW(TORVI_Uuid::ParseText(text.substr(20)), rtl::EConvertError);
}

TEST(UuidText, SixteenCharacterFormTakesPackedHexDigitPairs) {
    UnicodeString s(16, u'A');
    s[3] = char16_t(u'A' << 8 | u'1'); // low byte first digit: "1A"
    s[4] = char16_t(u'f' << 8 | u'f');
    const TORVI_Uuid u(s);
    EXPECT_EQ(u.Data()[0], 'A');
    EXPECT_EQ(u.Data()[3], 0x1A);
    EXPECT_EQ(u.Data()[4], 0xFF);
    s[5] = char16_t(u'g' << 8 | u'1');
    ExpectConvertError([&] { TORVI_Uuid::Parse(s); }, "Invalid hex character encountered");
}

TEST(UuidText, LengthsAndMarkersChooseTheForm) {
    EXPECT_TRUE(TORVI_Uuid(u"").IsZero());
    EXPECT_TRUE(TORVI_Uuid::Create(static_cast<const char16_t*>(nullptr)).IsZero());
    const TORVI_Uuid u(kSample);
    EXPECT_EQ(TORVI_Uuid(u"{" + kSample), u);                            // closing brace may be missing
    EXPECT_EQ(TORVI_Uuid(u"{6ba7b810-9dad-11D1-80B4-00C04FD430C8}"), u); // either case
    ExpectConvertError([&] { TORVI_Uuid::Parse(u"{" + kSample + u"x"); }, "Unrecognised Format");
    ExpectConvertError([&] { TORVI_Uuid::Parse(u"abc"); }, "Unrecognised Format");
    ExpectConvertError([&] { TORVI_Uuid::ParseText(u.Format(u"binary")); }, "Unrecognised Format");
    // 36 characters without the dashes in place match no form.
    UnicodeString shifted = kSample;
    std::swap(shifted[8], shifted[9]);
    ExpectConvertError([&] { TORVI_Uuid::Parse(shifted); }, "Unrecognised Format");
}

TEST(UuidText, BadDigitsNameTheFormAndWrapTheCause) {
    const char* hex = "Invalid hex character encountered";
    UnicodeString s = kSample;
    s[0] = u'g';
    ExpectConvertError([&] { TORVI_Uuid::Parse(s); }, "Invalid format for Standard Uuid", hex);
    s = kSample;
    s[35] = u'\0';
    ExpectConvertError([&] { TORVI_Uuid::Parse(s); }, "Invalid format for Standard Uuid", hex);
    s = u"{" + kSample + u"}";
    s[1] = char16_t(0x130); // a unit whose low byte is '0'
    ExpectConvertError([&] { TORVI_Uuid::Parse(s); }, "Invalid format for MS Styler Uuid", hex);
    s = TORVI_Uuid(kSample).Format(u"hex");
    s[31] = u'-';
    ExpectConvertError([&] { TORVI_Uuid::Parse(s); }, "Invalid format for Hex Uuid", hex);
    s[0] = u'-'; // a skipped dash runs the reader past the end
    ExpectConvertError([&] { TORVI_Uuid::Parse(s); }, "Invalid format for Hex Uuid", hex);
    s = TORVI_Uuid(kSample).Format(u"jhashpath");
    s[0] = u'z';
    ExpectConvertError([&] { TORVI_Uuid::Parse(s); }, "Invalid format for JHash Uuid", hex);
}

TEST(UuidText, PathFormChecksItsHash) {
    const TORVI_Uuid u(kSample);
    UnicodeString s = u.Format(u"jhashpath");
    std::replace(s.begin(), s.end(), u'\\', u'/');
    EXPECT_EQ(TORVI_Uuid(s), u);
    s[0] = s[0] == u'0' ? u'1' : u'0';
    s[4] = s[4] == u'0' ? u'1' : u'0';
    ExpectConvertError([&] { TORVI_Uuid::Parse(s); }, "Invalid format for JHash Uuid",
                       "JHash Uuid bytes do not match JHash of Uuid");
    s[5] = u'\\'; // unequal separators: not the path form, and 38 characters are no other form
    ExpectConvertError([&] { TORVI_Uuid::Parse(s); }, "Unrecognised Format");
}

TEST(UuidText, Base64Rules) {
    const TORVI_Uuid u(kSample);
    EXPECT_EQ(TORVI_Uuid(u"a6e4EJ2tEdGAtADAT9QwyA\r\n"), u); // white space instead of padding
    EXPECT_EQ(TORVI_Uuid(u"a6e4EJ2tEdGAtADAT9QwyAAA"), u);   // reading stops after 16 bytes
    ExpectConvertError([] { TORVI_Uuid::Parse(u"a6e4EJ2tEdGAtADAT9Qwy*=="); },
                       "Invalid character found in Base64 encoded data");
    ExpectConvertError([] { TORVI_Uuid::Parse(u"a6e4EJ2tEdGAtADAT9Qw===="); },
                       "Base64 encoded Uuid did not give 16 bytes of data");
    ExpectConvertError([] { TORVI_Uuid::Parse(u"a6e4EJ2tEd   AtADAT9QwyA"); },
                       "Base64 encoded Uuid did not give 16 bytes of data");
}

TEST(UuidValue, FailedParseLeavesTheValueUnchanged) {
    TORVI_Uuid u(kSample);
    UnicodeString bad = TORVI_Uuid(true).Format(u"");
    bad[34] = u'x';
    EXPECT_THROW(u.TrySetAsVariant(rtl::Variant::FromString(bad)), rtl::EConvertError);
    EXPECT_EQ(u, TORVI_Uuid(kSample));
    UnicodeString sixteen(16, u'\0');
    sixteen[15] = char16_t(0x7A31);
    EXPECT_THROW(u.TrySetAsVariant(rtl::Variant::FromString(sixteen)), rtl::EConvertError);
    EXPECT_EQ(u, TORVI_Uuid(kSample));
}

TEST(UuidValue, FieldViewsAreBigEndianOverTheBytes) {
    TORVI_Uuid u(kSample);
    EXPECT_EQ(u.TimeLow(), 0x6ba7b810u);
    EXPECT_EQ(u.TimeMid(), 0x9dad);
    EXPECT_EQ(u.TimeHighAndVersion(), 0x11d1);
    EXPECT_EQ(u.Version(), 1);
    EXPECT_EQ(u.ClockSequenceHighAndVariant(), 0x80);
    EXPECT_EQ(u.ClockSequenceLow(), 0xb4);
    EXPECT_EQ(u.Node(5), 0xc8);
    u.SetTimeLow(0x01020304);
    u.SetTimeMid(0x0506);
    u.SetTimeHighAndVersion(0x0708);
    EXPECT_EQ(u.Format(u"hex").substr(0, 16), u"0102030405060708");
    u.SetVersion(4);
    EXPECT_EQ(u.Data()[6], 0x47);
    u.SetClockSequenceHighAndVariant(0x7F);
    u.SetVariant(4);
    EXPECT_EQ(u.Data()[8], 0x9F); // top bits 100, lower five kept
    EXPECT_EQ(u.Variant(), 4);
    u.SetNode(6, 0xEE);
    u.SetNode(-1, 0xEE);
    EXPECT_EQ(u.Format(u"hex").substr(20), u"00c04fd430c8");
    try {
        (void)u.Node(6);
        ADD_FAILURE();
    } catch (const rtl::EArgumentOutOfRangeException& e) {
        EXPECT_STREQ(e.what(), "6 is invalid (should be between 0 and 5)");
    }
}

TEST(UuidValue, GuidBytesAndStringViewsRoundTrip) {
    const TORVI_Uuid u(kSample);
    const rtl::TGUID g = u;
    EXPECT_EQ(g.D1, u.TimeLow());
    EXPECT_EQ(g.D3, u.TimeHighAndVersion());
    EXPECT_EQ(TORVI_Uuid(g), u);
    EXPECT_EQ(TORVI_Uuid(u.AsBytes().data()), u);
    TORVI_Uuid v;
    v.SetAsString(u.AsString());
    EXPECT_EQ(v, u);
    v.SetAsString(u"short");
    EXPECT_EQ(v, u);
    EXPECT_THROW(v.SetAsBytes(rtl::TBytes(15)), rtl::EArgumentException);
    EXPECT_EQ(v, u);
    EXPECT_EQ(u.AsString()[0], char16_t(0xa76b));
}

TEST(UuidValue, CompareIsLexicographicAndOperatorsFollowIt) {
    const TORVI_Uuid small = FromBytes({0x01, 0xFF, 0xFF});
    const TORVI_Uuid large = FromBytes({0x80, 0x00});
    EXPECT_EQ(TORVI_Uuid::Compare(small, large), -1);
    EXPECT_EQ(TORVI_Uuid::Compare(large, small), 1);
    EXPECT_EQ(TORVI_Uuid::Compare(small, small), 0);
    std::mt19937 rng(7);
    for (int i = 0; i < 500; ++i) {
        const TORVI_Uuid a = RandomUuid(rng), b = i % 5 ? RandomUuid(rng) : a;
        EXPECT_EQ((a < b) + (a == b) + (a > b), 1);
        EXPECT_EQ(a <= b, TORVI_Uuid::Compare(a, b) <= 0);
        EXPECT_EQ(a != b, TORVI_Uuid::Compare(a, b) != 0);
    }
}

TEST(UuidValue, JHashIsLookup2OfTheBytes) {
    std::mt19937 rng(99);
    for (int i = 0; i < 200; ++i) {
        const TORVI_Uuid u = i == 0 ? TORVI_Uuid() : RandomUuid(rng);
        EXPECT_EQ(u.JHash(), Lookup2(u.Data(), 16, 0));
    }
    EXPECT_EQ(std::hash<TORVI_Uuid>()(TORVI_Uuid(kSample)), TORVI_Uuid(kSample).JHash());
}

TEST(UuidValue, RandomValuesAreVersionFourAndDiffer) {
    std::set<UnicodeString> seen;
    for (int i = 0; i < 100; ++i) {
        const TORVI_Uuid u(false);
        EXPECT_EQ(u.Version(), 4);
        EXPECT_EQ(u.Data()[8] & 0xC0, 0x80);
        seen.insert(u.Format(u""));
    }
    EXPECT_EQ(seen.size(), 100u);
    TORVI_Uuid z(true);
    EXPECT_TRUE(z.IsZero());
    z.Randomise();
    EXPECT_FALSE(z.IsZero());
    z.Zero();
    EXPECT_TRUE(z.IsZero());
}

TEST(UuidVariant, KindsAndTheirResults) {
    const TORVI_Uuid u(kSample);
    const rtl::Variant array = u.AsVariant();
    ASSERT_EQ(array.VarType(), rtl::TVarType::varByteArray);
    EXPECT_EQ(array.AsByteArray().LowBound, 0);
    EXPECT_EQ(array.AsByteArray().Bytes.size(), 16u);

    TORVI_Uuid v;
    EXPECT_TRUE(v.TrySetAsVariant(array));
    EXPECT_EQ(v, u);
    EXPECT_FALSE(v.TrySetAsVariant(rtl::Variant::FromInteger(5)));
    EXPECT_FALSE(v.TrySetAsVariant(rtl::Variant::FromBytes(rtl::TBytes(15))));
    EXPECT_EQ(v, u);
    EXPECT_TRUE(v.TrySetAsVariant(rtl::Variant::Null()));
    EXPECT_TRUE(v.IsZero());
    v = u;
    EXPECT_TRUE(v.TrySetAsVariant(rtl::Variant()));
    EXPECT_TRUE(v.IsZero());
    EXPECT_TRUE(v.TrySetAsVariant(rtl::Variant::FromAnsiString(rtl::StringToUtf8(kSample))));
    EXPECT_EQ(v, u);
    ExpectConvertError([&] { v.TrySetAsVariant(rtl::Variant::FromAnsiString("nonsense!")); },
                       "Unable to interpret Variant text as Uuid", "Unrecognised Format");
    ExpectConvertError([&] { v.TrySetAsVariant(rtl::Variant::FromString(u"nonsense!")); },
                       "Unrecognised Format");
    v.SetAsVariant(rtl::Variant::FromDouble(1.5));
    EXPECT_EQ(v, u);
}

#include "utils/values/ORVI.NetEncoding.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

using namespace orvi;

TEST(Base32, KnownTextsEncodeAndDecode) {
    TORVIBase32Encoding* b32 = TORVINetEncoding::Base32();
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"", u""},
        {u"f", u"MY======"},
        {u"fo", u"MZXQ===="},
        {u"foo", u"MZXW6==="},
        {u"foob", u"MZXW6YQ="},
        {u"fooba", u"MZXW6YTB"},
        {u"foobar", u"MZXW6YTBOI======"},
    };
    for (const auto& [plain, coded] : cases) {
        EXPECT_EQ(b32->Encode(plain), coded);
        EXPECT_EQ(b32->Decode(coded), plain);
    }
    EXPECT_EQ(b32->Decode(u"mzxw6ytboi"), u"foobar");      // lower case, unpadded
    EXPECT_EQ(b32->Decode(u"MZXW6YTBOI=AAAA"), u"foobar"); // the first "=" ends the input
}

TEST(Base32, EveryByteValueRoundTrips) {
    std::mt19937 rng(32);
    for (int n = 0; n < 40; ++n) {
        rtl::UnicodeString s;
        for (int i = 0; i < n; ++i)
            s.push_back(static_cast<char16_t>(rng() & 0xFF));
        const rtl::UnicodeString coded = TORVINetEncoding::Base32()->Encode(s);
        EXPECT_EQ(coded.size() % 8, 0u);
        EXPECT_EQ(TORVINetEncoding::Base32()->Decode(coded), s);
    }
}

TEST(Base32, BadInputRaisesNamingTheCharacterAndOffset) {
    try {
        TORVINetEncoding::Base32()->Decode(u"MZXW1YTB");
        ADD_FAILURE();
    } catch (const rtl::EConvertError& e) {
        EXPECT_STREQ(e.what(), "Invalid Base32 Input character: 1 at offset 4 of buffer");
    }
    EXPECT_THROW(TORVINetEncoding::Base32()->Decode(u"MZ W6YTB"), rtl::EConvertError);
    EXPECT_THROW(TORVINetEncoding::Base32()->Encode(u"a\u0100"), rtl::EConvertError);
}

TEST(Base32, ConcurrentFirstUsesAgreeOnOneEncoder) {
    std::vector<TORVIBase32Encoding*> seen(4);
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&seen, i] { seen[i] = TORVINetEncoding::Base32(); });
    for (auto& t : threads)
        t.join();
    for (auto* p : seen)
        EXPECT_EQ(p, TORVINetEncoding::Base32());
}

TEST(URLEncoding, QuerySetAddsAmpersandAndEquals) {
    const TORVIURLEncoding url;
    for (unsigned char c : {'&', '='}) {
        EXPECT_FALSE(url.kQueryUnsafeChars.Contains(c));
        EXPECT_TRUE(url.UnsafeQueryChars().Contains(c));
    }
    EXPECT_EQ(url.UnsafeQueryChars(), url.kQueryUnsafeChars + rtl::TAnsiCharSet("&="));
    EXPECT_TRUE(url.UnsafeAuthChars().Contains('@'));
    EXPECT_FALSE(url.UnsafePathChars().Contains('@'));
    EXPECT_TRUE(url.UnsafeFormChars().Contains('+'));
}

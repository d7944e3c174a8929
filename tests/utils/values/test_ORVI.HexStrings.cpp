#include "utils/values/ORVI.HexStrings.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <random>

using namespace orvi;

namespace {
void ExpectError(rtl::UnicodeStringView s, const char* message) {
    rtl::TBytes bytes = {42};
    try {
        HexStringToBytes(s, bytes);
        ADD_FAILURE() << "no error for " << rtl::StringToUtf8(s);
    } catch (const rtl::EConvertError& e) {
        EXPECT_STREQ(e.what(), message);
    }
    EXPECT_EQ(bytes, rtl::TBytes{42}) << "a failed read changed the output";
}
} // namespace

TEST(HexStrings, BytesToHexStringGroupsAndSpaces) {
    EXPECT_EQ(BytesToHexString({0x0A, 0xFF}), u"0AFF");
    EXPECT_EQ(BytesToHexString({}), u"");
    const rtl::TBytes four = {1, 0xAB, 2, 0xCD};
    EXPECT_EQ(BytesToHexString(four, 1, 2, u"\n"), u"01 AB\n02 CD");
    EXPECT_EQ(BytesToHexString(four, 2, 0, u"|"), u"01  AB  02  CD");
    EXPECT_EQ(BytesToHexString(four, 0, 1, u"-"), u"01-AB-02-CD");
    EXPECT_EQ(BytesToHexString(four, 1, 4, u"\n"), u"01 AB 02 CD");
}

TEST(HexStrings, HexStringToBytesReadsPairsAcrossWhiteSpace) {
    rtl::TBytes bytes;
    HexStringToBytes(u"0a ff", bytes);
    EXPECT_EQ(bytes, (rtl::TBytes{0x0A, 0xFF}));
    HexStringToBytes(u" 0\tA\r\nfF ", bytes);
    EXPECT_EQ(bytes, (rtl::TBytes{0x0A, 0xFF}));
    HexStringToBytes(u"", bytes);
    EXPECT_TRUE(bytes.empty());
    std::mt19937 rng(3);
    rtl::TBytes random(300);
    for (auto& b : random)
        b = static_cast<std::uint8_t>(rng());
    HexStringToBytes(BytesToHexString(random, 1, 16, u"\r\n"), bytes);
    EXPECT_EQ(bytes, random);
}

TEST(HexStrings, BadTextRaisesAndLeavesTheOutputAlone) {
    ExpectError(u"0af", "HexStringToBytes: String contains invalid characters");
    ExpectError(u"0g", "HexStringToBytes: String contains invalid characters");
    ExpectError(u"0a\u00A0ff", "HexStringToBytes: String contains invalid characters");
    ExpectError(rtl::UnicodeString(u"0a\0ff", 5), "HexStringToBytes: String contains invalid characters");
    ExpectError(u" \r\n", "HexStringToBytes: could not match hex characters");
}

// Reading update manifests and comparing dotted versions.
#include "app/update/UpdateManifest.h"

#include "rtl/DateTime.h"
#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using rtl::UnicodeString;
using ven::CompareVersions;
using ven::ParseUpdateManifest;

const std::string kDigest(64, 'a');

UnicodeString Text(const std::string& utf8) {
    return rtl::U(utf8);
}

std::string Valid(const std::string& extra = "") {
    return "[WebUpdate]\nVersion=1.4.0\nDate=05/03/2024\nTime=14:30\nFile=10 " + kDigest + " venturo_mtd\n" +
           extra;
}

TEST(UpdateManifest, ReadsEveryField) {
    std::string text = "; comment\r\n[Other]\r\nVersion=9.9\r\n[webupdate]\r\n# another comment\r\n"
                       "Version = 2.10.3 \r\nDate=05/03/2024\r\nTime=14:30\r\nFuture=ignored\r\n"
                       "File=1234 " +
                       std::string(64, 'F') + " venturo_mtd\r\nFile=0 " + kDigest +
                       " lib/Sage Reader (v2).so\r\nLicense=17 " + kDigest + " EULA.txt\r\n";
    ven::TUpdateManifest m = ParseUpdateManifest(Text(text));
    EXPECT_EQ(m.Version, u"2.10.3");
    EXPECT_DOUBLE_EQ(m.ReleaseDate, rtl::EncodeDate(2024, 3, 5) + rtl::EncodeTime(14, 30, 0, 0));
    ASSERT_EQ(m.Files.size(), 2u);
    EXPECT_EQ(m.Files[0].Name, u"venturo_mtd");
    EXPECT_EQ(m.Files[0].Size, 1234);
    EXPECT_EQ(m.Files[0].Sha256, Text(std::string(64, 'f'))); // digests kept in lower case
    EXPECT_EQ(m.Files[1].Name, u"lib/Sage Reader (v2).so");
    EXPECT_EQ(m.Files[1].Size, 0);
    ASSERT_TRUE(m.License.has_value());
    EXPECT_EQ(m.License->Name, u"EULA.txt");
    EXPECT_EQ(m.License->Size, 17);
    EXPECT_FALSE(ParseUpdateManifest(Text(Valid())).License.has_value());
}

TEST(UpdateManifest, RejectsMalformedText) {
    const std::string file = "File=10 " + kDigest + " ";
    const std::string bad[] = {
        "",
        "<html><body>Not here</body></html>",
        "Version=1.0\n" + Valid(),
        "[WebUpdate]\nDate=05/03/2024\nTime=14:30\n" + file + "a\n",
        "[WebUpdate]\nVersion=1..2\nDate=05/03/2024\nTime=14:30\n" + file + "a\n",
        "[WebUpdate]\nVersion=1.a\nDate=05/03/2024\nTime=14:30\n" + file + "a\n",
        "[WebUpdate]\nVersion=1.0\nTime=14:30\n" + file + "a\n",
        "[WebUpdate]\nVersion=1.0\nDate=31/02/2024\nTime=14:30\n" + file + "a\n",
        "[WebUpdate]\nVersion=1.0\nDate=2024-03-05\nTime=14:30\n" + file + "a\n",
        "[WebUpdate]\nVersion=1.0\nDate=5/3/2024\nTime=14:30\n" + file + "a\n",
        "[WebUpdate]\nVersion=1.0\nDate=05/03/2024\nTime=24:00\n" + file + "a\n",
        "[WebUpdate]\nVersion=1.0\nDate=05/03/2024\n" + file + "a\n",
        "[WebUpdate]\nVersion=1.0\nDate=05/03/2024\nTime=14:30\n",
        Valid("File=-1 " + kDigest + " b\n"),
        Valid("File=12x " + kDigest + " b\n"),
        Valid("File=99999999999999999999999 " + kDigest + " b\n"),
        Valid("File=3000000000 " + kDigest + " b\n"),
        Valid("File=10 " + std::string(63, 'a') + " b\n"),
        Valid("File=10 " + std::string(63, 'a') + "g b\n"),
        Valid("File=10 " + kDigest + "\n"),
        Valid("File=10 " + kDigest + " VENTURO_MTD\n"),
        Valid("File=10 " + kDigest + " venturo_mtd/help.txt\n"),
        Valid("File=10 " + kDigest + " .WebUpdate/journal\n"),
        Valid("License=10 " + kDigest + " a\nLicense=10 " + kDigest + " b\n"),
        Valid("[WebUpdate]\n"),
        Valid("no equals sign\n"),
        Valid("[Unterminated\n"),
    };
    for (const std::string& text : bad) {
        EXPECT_THROW(ParseUpdateManifest(Text(text)), rtl::EConvertError) << text;
    }
    try {
        ParseUpdateManifest(Text(Valid("File=10 " + kDigest + " ../outside\n")));
        FAIL();
    } catch (const rtl::EConvertError& e) {
        EXPECT_EQ(e.Message(), u"Update manifest, line 6: unsafe file name '../outside'");
    }
}

TEST(UpdateManifest, FileNamesStayInsideTheProgramFolder) {
    for (const char16_t* name : {u"venturo_mtd", u"lib/orvi_rtl.so", u"Read Me (1).txt", u"a+b-c_d.e"}) {
        EXPECT_TRUE(ven::IsSafeRelativeName(name)) << rtl::StringToUtf8(name);
    }
    for (const char16_t* name : {u"", u"../x", u"a/../b", u"./a", u"/etc/passwd", u"a//b", u"a/", u"a\\b",
                                 u"C:x", u" lead", u"trail ", u"a?b", u"a#b", u"a%2e", u"caf\u00e9"}) {
        EXPECT_FALSE(ven::IsSafeRelativeName(name)) << rtl::StringToUtf8(name);
    }
}

TEST(UpdateManifest, VersionsCompareNumberByNumber) {
    struct {
        const char16_t* A;
        const char16_t* B;
        int Sign;
    } cases[] = {
        {u"1.10", u"1.9", 1},
        {u"1.2", u"1.2.0", 0},
        {u"01.002", u"1.2", 0},
        {u"2", u"1.99.99", 1},
        {u"1.0.0.1", u"1", 1},
        {u"0.9", u"1", -1},
        {u"1.99999999999999999999", u"1.99999999999999999998", 1},
        {u"10", u"9", 1},
    };
    for (const auto& c : cases) {
        int r = CompareVersions(c.A, c.B);
        EXPECT_EQ((r > 0) - (r < 0), c.Sign) << rtl::StringToUtf8(c.A) << " vs " << rtl::StringToUtf8(c.B);
        r = CompareVersions(c.B, c.A);
        EXPECT_EQ((r > 0) - (r < 0), -c.Sign);
    }
    for (const char16_t* bad : {u"", u"1.", u".1", u"1..2", u"v1", u"1.2-beta", u" 1"}) {
        EXPECT_FALSE(ven::IsValidVersion(bad));
        EXPECT_THROW(CompareVersions(bad, u"1"), rtl::EConvertError);
    }
}

TEST(UpdateManifest, DateAndTimePatternsFollowTheFormat) {
    rtl::TDateTime d = 0;
    EXPECT_TRUE(ven::TryParseManifestDate(u"05-03-2024", u"dd/mm/yyyy", u'-', d));
    EXPECT_DOUBLE_EQ(d, rtl::EncodeDate(2024, 3, 5));
    EXPECT_FALSE(ven::TryParseManifestDate(u"05/03/2024", u"dd/mm/yyyy", u'-', d));
    EXPECT_TRUE(ven::TryParseManifestDate(u"2024/3/5", u"yyyy/m/d", u'/', d));
    EXPECT_DOUBLE_EQ(d, rtl::EncodeDate(2024, 3, 5));
    EXPECT_TRUE(ven::TryParseManifestDate(u"29/02/24", u"dd/mm/yy", u'/', d));
    EXPECT_DOUBLE_EQ(d, rtl::EncodeDate(2024, 2, 29));
    EXPECT_FALSE(ven::TryParseManifestDate(u"29/02/2023", u"dd/mm/yyyy", u'/', d));
    EXPECT_FALSE(ven::TryParseManifestDate(u"05/03/2024 ", u"dd/mm/yyyy", u'/', d));

    rtl::TDateTime t = 0;
    EXPECT_TRUE(ven::TryParseManifestTime(u"09.05", u"hh:nn", u'.', t));
    EXPECT_DOUBLE_EQ(t, rtl::EncodeTime(9, 5, 0, 0));
    EXPECT_FALSE(ven::TryParseManifestTime(u"9:05", u"hh:nn", u':', t));
    EXPECT_FALSE(ven::TryParseManifestTime(u"12:60", u"hh:nn", u':', t));

    ven::TManifestFormat format;
    format.DateSeparator = u'.';
    EXPECT_NO_THROW(ParseUpdateManifest(
        Text("[WebUpdate]\nVersion=1\nDate=05.03.2024\nTime=14:30\nFile=1 " + kDigest + " a\n"), format));
}

} // namespace

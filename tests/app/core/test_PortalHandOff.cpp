// The hand-off URL, decoded by Qt's URL parser rather than by our own code.
#include "app/core/PortalHandOff.h"

#include "app/core/CoreTestSupport.h"
#include "app/core/PlatformPaths.h"
#include "rtl/DateTime.h"
#include "sage_datasets/SageDatasetVatReturn.h"

#include <QString>
#include <QUrl>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using rtl::Currency;
using rtl::UnicodeString;
using ven::BuildPortalUrl;
using ven::TPortalTarget;

struct TQueryPart {
    QString Key;
    QString Value;
};

// Splits the query at "&" and form-decodes each value ("+" is a space, then percent escapes).
std::vector<TQueryPart> QueryParts(const UnicodeString& url) {
    QUrl parsed(QString::fromStdU16String(url), QUrl::StrictMode);
    EXPECT_TRUE(parsed.isValid()) << parsed.errorString().toStdString();
    std::vector<TQueryPart> parts;
    for (const QString& part : parsed.query(QUrl::FullyEncoded).split(u'&')) {
        qsizetype eq = part.indexOf(u'=');
        QString key = eq < 0 ? part : part.left(eq);
        QString raw = eq < 0 ? QString() : part.mid(eq + 1);
        raw.replace(u'+', u' ');
        parts.push_back({key, QUrl::fromPercentEncoding(raw.toUtf8())});
    }
    return parts;
}

QString Value(const std::vector<TQueryPart>& parts, const QString& key) {
    for (const TQueryPart& p : parts) {
        if (p.Key == key) {
            return p.Value;
        }
    }
    ADD_FAILURE() << "no parameter " << key.toStdString();
    return {};
}

class PortalUrlTest : public ::testing::Test {
protected:
    void SetUp() override {
        _return.SetCompanyName(u"Smith & Sons Ltd");
        _return.SetVatNumber(u"123456789");
        _return.SetDateFrom(rtl::EncodeDate(2021, 4, 1));
        _return.SetDateTo(rtl::EncodeDate(2021, 6, 30));
        for (int box = 1; box <= 9; ++box) {
            _return.SetBox(box, Currency::FromRaw(box * 10000));
        }
        _return.SetBox(1, Currency::FromRaw(-15000));   // -1.50
        _return.SetBox(6, Currency::FromRaw(15005000)); // 1500.50
        _settings.DateSeparator = u'/';
        _settings.DecimalSeparator = u'.';
    }

    UnicodeString Url(bool testMode, bool platformMode) {
        TPortalTarget target;
        target.TestMode = testMode;
        target.PlatformMode = platformMode;
        target.LiveHost = u"live.example";
        target.TestHost = u"test.example";
        return BuildPortalUrl(_return, target, _settings);
    }

    sage::TSageDatasetVatReturn _return;
    rtl::TFormatSettings _settings;
};

TEST_F(PortalUrlTest, LiveUrlHasTheNineteenPartsInOrder) {
    UnicodeString url = Url(false, false);
    QUrl parsed(QString::fromStdU16String(url));
    EXPECT_EQ(parsed.scheme(), "https");
    EXPECT_EQ(parsed.host(), "live.example");
    EXPECT_EQ(parsed.path(), "/vatreturn/");

    std::vector<TQueryPart> parts = QueryParts(url);
    std::vector<QString> keys;
    for (const TQueryPart& p : parts) {
        keys.push_back(p.Key);
    }
    std::vector<QString> expected = {"init",
                                     "accountid",
                                     "email",
                                     "company",
                                     "vatno",
                                     "periodKey",
                                     "period_s",
                                     "period_e",
                                     "vatDueSales",
                                     "vatDueAcquisitions",
                                     "totalVatDue",
                                     "vatReclaimedCurrPeriod",
                                     "netVatDue",
                                     "totalValueSalesExVAT",
                                     "totalValuePurchasesExVAT",
                                     "totalValueGoodsSuppliedExVAT",
                                     "totalAcquisitionsExVAT",
                                     "finalised"};
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(Value(parts, "init"), "y");
    EXPECT_EQ(Value(parts, "finalised"), "1");
    EXPECT_EQ(Value(parts, "company"), "Smith & Sons Ltd");
    EXPECT_EQ(Value(parts, "vatno"), "123456789");
    EXPECT_EQ(Value(parts, "period_s"), "01/04/2021");
    EXPECT_EQ(Value(parts, "period_e"), "30/06/2021");
    EXPECT_EQ(Value(parts, "vatDueSales"), "-1.50");
    EXPECT_EQ(Value(parts, "totalValueSalesExVAT"), "1500.50");
    EXPECT_EQ(Value(parts, "totalAcquisitionsExVAT"), "9.00");
}

TEST_F(PortalUrlTest, CompanyIsFormEncodedAndEmptyParametersStayPresent) {
    UnicodeString url = Url(false, false);
    EXPECT_NE(url.find(u"&company=Smith+%26+Sons+Ltd&"), UnicodeString::npos);
    EXPECT_NE(url.find(u"init=y&accountid=&email=&company="), UnicodeString::npos);
    EXPECT_NE(url.find(u"&periodKey=&period_s="), UnicodeString::npos);
}

TEST_F(PortalUrlTest, TestModeReplacesVatNumberAndPeriodButKeepsBoxes) {
    _settings.DateSeparator = u'.';
    std::vector<TQueryPart> parts = QueryParts(Url(true, false));
    EXPECT_EQ(Value(parts, "vatno"), "test");
    EXPECT_EQ(Value(parts, "periodKey"), "");
    EXPECT_EQ(Value(parts, "period_s"), "01/04/2018");
    EXPECT_EQ(Value(parts, "period_e"), "30/06/2018");
    EXPECT_EQ(Value(parts, "vatDueSales"), "-1.50");
    EXPECT_EQ(QUrl(QString::fromStdU16String(Url(true, false))).host(), "test.example");
}

TEST_F(PortalUrlTest, PlatformModeSendsTheAccountIdentifier) {
    std::vector<TQueryPart> parts = QueryParts(Url(false, true));
    EXPECT_EQ(Value(parts, "accountid"), "6d2f9e41-0b7c-4a83-9e56-c1f04b8a2d37");
    EXPECT_EQ(Value(parts, "email"), "");
}

TEST_F(PortalUrlTest, RegionalSeparatorsApplyToLiveDatesAndBoxes) {
    _settings.DateSeparator = u'.';
    _settings.DecimalSeparator = u',';
    UnicodeString url = Url(false, false);
    EXPECT_NE(url.find(u"&period_s=01.04.2021&period_e=30.06.2021&"), UnicodeString::npos);
    EXPECT_NE(url.find(u"&totalValueSalesExVAT=1500%2C50&"), UnicodeString::npos);
}

// A date separator such as "#" would end the query early, and a non-ASCII one is no URL text: every
// value is encoded, dates keeping their "/" (the portal reads dd/mm/yyyy).
TEST_F(PortalUrlTest, EveryValueIsEncodedWhateverTheRegionalSeparators) {
    _settings.DateSeparator = u'#';
    UnicodeString url = Url(false, false);
    EXPECT_NE(url.find(u"&period_s=01%2304%232021&period_e=30%2306%232021&"), UnicodeString::npos);
    EXPECT_EQ(QueryParts(url).size(), 18u);
    _settings.DateSeparator = u'\u5E74';
    _settings.DecimalSeparator = u'&';
    url = Url(false, false);
    EXPECT_NE(url.find(u"&period_s=01%E5%B9%B404%E5%B9%B42021&"), UnicodeString::npos);
    EXPECT_NE(url.find(u"&vatDueSales=-1%2650&"), UnicodeString::npos);
    EXPECT_TRUE(std::all_of(url.begin(), url.end(), [](char16_t c) { return c > 0x20 && c < 0x7F; }));
    _settings.DateSeparator = u'/';
    EXPECT_NE(Url(false, false).find(u"&period_s=01/04/2021&"), UnicodeString::npos);
}

TEST_F(PortalUrlTest, HalfPennyRoundsAwayFromZero) {
    _return.SetBox(2, Currency::FromRaw(50));  // 0.0050
    _return.SetBox(3, Currency::FromRaw(-50)); // -0.0050
    _return.SetBox(4, Currency::FromRaw(49));  // 0.0049
    std::vector<TQueryPart> parts = QueryParts(Url(false, false));
    EXPECT_EQ(Value(parts, "vatDueAcquisitions"), "0.01");
    EXPECT_EQ(Value(parts, "totalVatDue"), "-0.01");
    EXPECT_EQ(Value(parts, "vatReclaimedCurrPeriod"), "0.00");
}

TEST(UrlEncodeFormValue, EncodesUtf8ReservedAndSpaces) {
    EXPECT_EQ(ven::UrlEncodeFormValue(u"Caf\u00e9 & Co"), u"Caf%C3%A9+%26+Co");
    EXPECT_EQ(ven::UrlEncodeFormValue(u"a+b=c/d?e#f"), u"a%2Bb%3Dc%2Fd%3Fe%23f");
    EXPECT_EQ(ven::UrlEncodeFormValue(u"A-z_0.9~"), u"A-z_0.9~");
    EXPECT_EQ(ven::UrlEncodeFormValue(u"\u20ac"), u"%E2%82%AC");
}

TEST(PlatformBrowserCommandLine, QuotesProgramFirstAndUrlLast) {
    UnicodeString line = ven::PlatformBrowserCommandLine(u"C:\\Apps\\Tarnweb.exe", u"https://x/?a=1&b=2");
    EXPECT_EQ(line, u"\"C:\\Apps\\Tarnweb.exe\" --startfile \"https://x/?a=1&b=2\"");
    // A quote in a folder name is escaped, so that the program's path reads back whole.
    line = ven::PlatformBrowserCommandLine(u"C:\\app\"x\\Tarnweb.exe", u"https://x/");
    EXPECT_EQ(line, u"\"C:\\app\\\"x\\Tarnweb.exe\" --startfile \"https://x/\"");
    EXPECT_EQ(rtl::SplitCommandLine(line),
              (std::vector<UnicodeString>{u"C:\\app\"x\\Tarnweb.exe", u"--startfile", u"https://x/"}));
}

// An environment variable set for the life of the object.
class TEnvOverride {
public:
    TEnvOverride(const char* name, const std::string& value) : _name(name) {
        if (const char* old = std::getenv(name)) {
            _old = old;
            _hadOld = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~TEnvOverride() {
        if (_hadOld) {
            ::setenv(_name, _old.c_str(), 1);
        } else {
            ::unsetenv(_name);
        }
    }

private:
    const char* _name;
    std::string _old;
    bool _hadOld = false;
};

// The hand-off through stand-in programs: a platform browser in a Wine prefix and an xdg-open on PATH,
// each recording its arguments (one a line) and working folder.
class HandOffTest : public PortalUrlTest {
protected:
    void SetUp() override {
        PortalUrlTest::SetUp();
        fs::path browserFolder =
            _tmp.Path() / "prefix/dosdevices/c:/Program Files (x86)/App Hosting Platform/Tarnweb";
        fs::create_directories(browserFolder);
        fs::create_directories(_tmp.Path() / "bin");
        Recorder(browserFolder / "Tarnweb.exe");
        Recorder(_tmp.Path() / "bin/xdg-open");
    }
    void Recorder(const fs::path& file) {
        std::ofstream(file) << "#!/bin/sh\n{ pwd; printf '%s\\n' \"$@\"; } > '" << _record.string()
                            << ".tmp'\n"
                            << "/bin/mv '" << _record.string() << ".tmp' '" << _record.string() << "'\n";
        fs::permissions(file, fs::perms::owner_all);
    }
    std::string Recorded() {
        for (int i = 0; i < 500 && !fs::exists(_record); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::ifstream in(_record, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    TPortalTarget Target(bool platformMode) {
        TPortalTarget target = TPortalTarget::FromBuild(false, platformMode);
        return target;
    }

    ven::testing::TTempFolder _tmp;
    fs::path _record = _tmp.Path() / "record";
    TEnvOverride _prefix{"WINEPREFIX", (_tmp.Path() / "prefix").string()};
    TEnvOverride _path{"PATH", (_tmp.Path() / "bin").string()};
};

TEST_F(HandOffTest, ThePlatformBrowserGetsTheUrlAsOneArgument) {
    const ven::THandOffResult result = ven::HandOffReturn(_return, Target(true));
    ASSERT_TRUE(result.Opened) << rtl::StringToUtf8(result.Message);
    const std::string url = rtl::StringToUtf8(BuildPortalUrl(_return, Target(true)));
    EXPECT_EQ(rtl::StringToUtf8(result.Url), url);
    EXPECT_EQ(Recorded(), rtl::StringToNative(ven::PlatformBrowserFolder()) + "\n--startfile\n" + url + "\n");
}

TEST_F(HandOffTest, ALaunchFailureIsReturnedWithItsReason) {
    // The URL of a 200,000-character company name is longer than one argument may be.
    _return.SetCompanyName(UnicodeString(200000, u'A'));
    for (bool platformMode : {true, false}) {
        rtl::TProcessStart started =
            ven::OpenPortalUrl(BuildPortalUrl(_return, Target(platformMode)), Target(platformMode));
        EXPECT_FALSE(started);
        EXPECT_EQ(started.ErrorCode, E2BIG);
        EXPECT_NE(started.ErrorText.find(rtl::Utf8ToString(std::strerror(E2BIG))), UnicodeString::npos);
    }
    // No browser at all: the hand-off says the browser did not start, and why.
    _return.SetCompanyName(u"Smith & Sons Ltd");
    fs::remove(_tmp.Path() / "bin/xdg-open");
    const ven::THandOffResult missing = ven::HandOffReturn(_return, Target(false));
    EXPECT_FALSE(missing.Opened);
    EXPECT_EQ(missing.Message.find(u"The browser could not be started"), 0u);
    EXPECT_NE(missing.Message.find(u"Cannot start \"xdg-open\""), UnicodeString::npos);
}

// The launch given in place of the browser: what it was asked to open, and what it answers.
struct TLaunchRecord {
    std::vector<UnicodeString> Urls;
    rtl::TProcessStart Answer(const UnicodeString& url) {
        Urls.push_back(url);
        return {};
    }
};

TEST_F(PortalUrlTest, AnOpenedPortalIsNamedWithItsModeCompanyAndPeriod) {
    rtl::TFormatSettings& settings = rtl::FormatSettings();
    const char16_t separator = settings.DateSeparator;
    settings.DateSeparator = u'/';
    _return.SetCompanyName(u"Harrogate Tea Rooms Ltd");
    _return.SetDateFrom(rtl::EncodeDate(2022, 1, 1));
    _return.SetDateTo(rtl::EncodeDate(2022, 3, 31));
    TLaunchRecord launched;
    auto launch = [&](const UnicodeString& url, const TPortalTarget&) { return launched.Answer(url); };
    for (bool testMode : {true, false}) {
        TPortalTarget target = TPortalTarget::FromBuild(testMode, false);
        const ven::THandOffResult result = ven::HandOffReturn(_return, target, launch);
        EXPECT_TRUE(result.Opened);
        EXPECT_EQ(result.Url, BuildPortalUrl(_return, target));
        EXPECT_EQ(result.Message,
                  UnicodeString(u"Opened the ") + (testMode ? u"Test" : u"Live") +
                      u" portal for Harrogate Tea Rooms Ltd, 01/01/2022 - 31/03/2022 in your browser");
    }
    EXPECT_EQ(launched.Urls.size(), 2u);
    settings.DateSeparator = separator;
}

TEST_F(PortalUrlTest, ALiveReturnWithoutAVatNumberIsRefusedUnsent) {
    _return.SetVatNumber(u"");
    TLaunchRecord launched;
    auto launch = [&](const UnicodeString& url, const TPortalTarget&) { return launched.Answer(url); };
    const ven::THandOffResult live =
        ven::HandOffReturn(_return, TPortalTarget::FromBuild(false, true), launch);
    EXPECT_FALSE(live.Opened);
    EXPECT_TRUE(live.Url.empty());
    EXPECT_NE(live.Message.find(u"no VAT number"), UnicodeString::npos);
    EXPECT_TRUE(launched.Urls.empty()) << "nothing is sent with an empty vatno";
    // The test site takes its fixed test values whatever the return holds.
    const ven::THandOffResult test =
        ven::HandOffReturn(_return, TPortalTarget::FromBuild(true, false), launch);
    EXPECT_TRUE(test.Opened);
    ASSERT_EQ(launched.Urls.size(), 1u);
    EXPECT_EQ(Value(QueryParts(launched.Urls[0]), "vatno"), "test");
}

TEST_F(PortalUrlTest, ALauncherThatFailsLeavesNothingOpened) {
    auto launch = [](const UnicodeString&, const TPortalTarget&) {
        rtl::TProcessStart failed;
        failed.ErrorCode = ENOENT;
        failed.ErrorText = u"Cannot start \"browser\". No such file or directory";
        return failed;
    };
    const ven::THandOffResult result =
        ven::HandOffReturn(_return, TPortalTarget::FromBuild(false, false), launch);
    EXPECT_FALSE(result.Opened);
    EXPECT_NE(result.Message.find(u"Cannot start \"browser\". No such file or directory"),
              UnicodeString::npos);
    EXPECT_EQ(result.Message.find(u"Opened"), UnicodeString::npos);
}

} // namespace

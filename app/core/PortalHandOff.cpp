#include "app/core/PortalHandOff.h"

#include "BuildConfig.h"
#include "app/core/PlatformPaths.h"
#include "rtl/Currency.h"
#include "rtl/DateTime.h"
#include "rtl/Shell.h"
#include "sage_datasets/SageDatasetVatReturn.h"

namespace ven {

using rtl::UnicodeString;

TPortalTarget TPortalTarget::FromBuild(bool testMode, bool platformMode) {
    TPortalTarget t;
    t.TestMode = testMode;
    t.PlatformMode = platformMode;
    t.LiveHost = rtl::Utf8ToString(VENTURO_PORTAL_LIVE_HOST);
    t.TestHost = rtl::Utf8ToString(VENTURO_PORTAL_TEST_HOST);
    return t;
}

UnicodeString UrlEncodeFormValue(rtl::UnicodeStringView text, rtl::UnicodeStringView keep) {
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    UnicodeString out;
    for (unsigned char b : rtl::StringToUtf8(text)) {
        bool plain = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                     b == '_' || b == '.' || b == '~' || (b < 0x80 && keep.find(char16_t(b)) != keep.npos);
        if (plain) {
            out += static_cast<char16_t>(b);
        } else if (b == ' ') {
            out += u'+';
        } else {
            out += u'%';
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        }
    }
    return out;
}

UnicodeString TestModeNotice() {
    return UnicodeString(u"Test mode: the portal's test site receives VAT number \"") + kTestVatNumber +
           u"\" and period " + kTestPeriodStart + u" - " + kTestPeriodEnd + u", with the boxes shown.";
}

UnicodeString BuildPortalUrl(const sage::TSageDatasetVatReturn& r, const TPortalTarget& target,
                             const rtl::TFormatSettings& settings) {
    static constexpr const char16_t* boxParams[9] = {u"&vatDueSales=",
                                                     u"&vatDueAcquisitions=",
                                                     u"&totalVatDue=",
                                                     u"&vatReclaimedCurrPeriod=",
                                                     u"&netVatDue=",
                                                     u"&totalValueSalesExVAT=",
                                                     u"&totalValuePurchasesExVAT=",
                                                     u"&totalValueGoodsSuppliedExVAT=",
                                                     u"&totalAcquisitionsExVAT="};

    UnicodeString url = u"https://" + (target.TestMode ? target.TestHost : target.LiveHost) + u"/vatreturn/?";
    url += u"init=y";
    url += u"&accountid=";
    if (target.PlatformMode) {
        url += kPlatformAccountId;
    }
    url += u"&email=";
    url += u"&company=" + UrlEncodeFormValue(r.CompanyName());
    url += u"&vatno=" + (target.TestMode ? UnicodeString(kTestVatNumber) : UrlEncodeFormValue(r.VatNumber()));
    url += u"&periodKey=";
    if (target.TestMode) {
        url += u"&period_s=" + UnicodeString(kTestPeriodStart) + u"&period_e=" + kTestPeriodEnd;
    } else {
        // The regional separators may be anything ("#" would end the query, "年" is no URL text), so
        // dates and amounts are encoded like the other values; the portal reads dates as dd/mm/yyyy.
        url += u"&period_s=" +
               UrlEncodeFormValue(rtl::FormatDateTime(u"dd/mm/yyyy", r.DateFrom(), settings), u"/");
        url += u"&period_e=" +
               UrlEncodeFormValue(rtl::FormatDateTime(u"dd/mm/yyyy", r.DateTo(), settings), u"/");
    }
    for (int box = 1; box <= 9; ++box) {
        url += boxParams[box - 1];
        url += UrlEncodeFormValue(rtl::CurrToStrF2(r.GetBox(box), settings));
    }
    url += u"&finalised=1";
    return url;
}

std::vector<UnicodeString> PlatformBrowserArguments(const UnicodeString& url) {
    return {u"--startfile", url};
}

UnicodeString PlatformBrowserCommandLine(const UnicodeString& program, const UnicodeString& url) {
    return rtl::QuoteCommandLineArgument(program) + u" --startfile " + rtl::QuoteCommandLineArgument(url);
}

rtl::TProcessStart OpenPortalUrl(const UnicodeString& url, const TPortalTarget& target,
                                 const rtl::TLaunchWatch& watch) {
    if (target.PlatformMode) {
        return rtl::CreateProcessAndWatch(PlatformBrowserPath(), PlatformBrowserArguments(url),
                                          PlatformBrowserFolder(), rtl::TShowWindow::swMaximized, watch);
    }
    return rtl::ShellOpen(url, watch);
}

UnicodeString HandOffRefusal(const sage::TSageDatasetVatReturn& vatReturn, const TPortalTarget& target) {
    if (target.TestMode || !vatReturn.VatNumber().empty()) {
        return {};
    }
    return u"This return cannot be filed: the company has no VAT number in Sage.\r"
           u"Enter the VAT registration number in the company's settings in Sage, then submit again.";
}

UnicodeString HandOffStatusText(const sage::TSageDatasetVatReturn& vatReturn, const TPortalTarget& target) {
    return UnicodeString(u"Opened the ") + (target.TestMode ? u"Test" : u"Live") + u" portal for " +
           vatReturn.CompanyName() + u", " + vatReturn.Period() + u" in your browser";
}

UnicodeString HandOffFailedStatusText(const sage::TSageDatasetVatReturn& vatReturn, const TPortalTarget& target) {
    return UnicodeString(u"The ") + (target.TestMode ? u"Test" : u"Live") + u" portal was not opened for " +
           vatReturn.CompanyName() + u", " + vatReturn.Period();
}

THandOffResult HandOffReturn(const sage::TSageDatasetVatReturn& vatReturn, const TPortalTarget& target,
                             const TPortalLauncher& launch) {
    THandOffResult result;
    result.Message = HandOffRefusal(vatReturn, target);
    if (!result.Message.empty()) {
        return result;
    }
    result.Url = BuildPortalUrl(vatReturn, target);
    const rtl::TProcessStart started = launch ? launch(result.Url, target) : OpenPortalUrl(result.Url, target);
    result.Opened = static_cast<bool>(started);
    if (result.Opened) {
        result.Message = HandOffStatusText(vatReturn, target);
        result.Status = result.Message;
        return result;
    }
    result.Status = HandOffFailedStatusText(vatReturn, target);
    // A program that started and then failed is no better than one that never started.
    result.Message = (started.ErrorCode != 0
                          ? UnicodeString(u"The browser could not be started, so the portal was not opened.\r")
                          : UnicodeString(u"The browser did not open the portal: the program that opens it "
                                          u"reported a failure.\r")) +
                     started.ErrorText;
    return result;
}

} // namespace ven

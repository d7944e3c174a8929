#pragma once
// The hand-off of a chosen VAT return to the MTD web portal: one URL carrying the return's period,
// identifiers and nine boxes, opened in the user's browser or the platform's browser program.
#include "rtl/FormatSettings.h"
#include "rtl/Shell.h"
#include "rtl/UnicodeString.h"

#include <functional>
#include <vector>

namespace sage {
class TSageDatasetVatReturn;
}

namespace ven {

/// What the portal's test site receives in place of the return's own VAT number and period.
inline constexpr char16_t kTestVatNumber[] = u"test";
inline constexpr char16_t kTestPeriodStart[] = u"01/04/2018";
inline constexpr char16_t kTestPeriodEnd[] = u"30/06/2018";

/// One line telling the user what a test hand-off sends instead of the return's own identifiers.
rtl::UnicodeString TestModeNotice();

struct TPortalTarget {
    bool TestMode = false;     // the portal's test site, with fixed VAT number and period
    bool PlatformMode = false; // the hosting platform's account and browser program
    rtl::UnicodeString LiveHost;
    rtl::UnicodeString TestHost;
    /// The portal hosts of this build.
    static TPortalTarget FromBuild(bool testMode, bool platformMode);
};

/// Form encoding of a query value: UTF-8, space as "+", letters, digits, "-_.~" and the ASCII
/// characters of keep unchanged, every other byte as "%" and two upper-case hex digits.
rtl::UnicodeString UrlEncodeFormValue(rtl::UnicodeStringView text, rtl::UnicodeStringView keep = {});

/// The hand-off URL of the return: the 19 parts in their fixed order.
rtl::UnicodeString BuildPortalUrl(const sage::TSageDatasetVatReturn& vatReturn, const TPortalTarget& target,
                                  const rtl::TFormatSettings& settings = rtl::FormatSettings());

/// The platform browser's arguments after the program: the start-file switch and the URL.
std::vector<rtl::UnicodeString> PlatformBrowserArguments(const rtl::UnicodeString& url);
/// The platform browser's Windows command line: program and URL, each in double quotes (quotes
/// and the backslashes before them escaped), with the start-file switch between.
rtl::UnicodeString PlatformBrowserCommandLine(const rtl::UnicodeString& program,
                                              const rtl::UnicodeString& url);

/// Opens a hand-off URL: in platform mode through the platform's browser program (started
/// maximised), else through the shell's default handler. The opener, or wine when the browser
/// program goes through it, is watched as watch says: the result is a failure when it could not
/// start or ended with a failure status, with why (ErrorText).
rtl::TProcessStart OpenPortalUrl(const rtl::UnicodeString& url, const TPortalTarget& target,
                                 const rtl::TLaunchWatch& watch = {});
/// How a hand-off opens its URL: OpenPortalUrl, or another way given by a caller.
using TPortalLauncher = std::function<rtl::TProcessStart(const rtl::UnicodeString&, const TPortalTarget&)>;

/// Why the return cannot go to the portal as it stands, or empty when it can: a live return
/// without a VAT number cannot be filed (the test site takes its fixed test values instead).
rtl::UnicodeString HandOffRefusal(const sage::TSageDatasetVatReturn& vatReturn, const TPortalTarget& target);
/// What the status line says once the portal has been opened for the return.
rtl::UnicodeString HandOffStatusText(const sage::TSageDatasetVatReturn& vatReturn,
                                     const TPortalTarget& target);
/// What the status line says when the portal could not be opened for the return.
rtl::UnicodeString HandOffFailedStatusText(const sage::TSageDatasetVatReturn& vatReturn,
                                           const TPortalTarget& target);

/// What became of a hand-off.
struct THandOffResult {
    /// The browser was started with the URL.
    bool Opened = false;
    /// The URL handed to the browser; empty when the return was refused.
    rtl::UnicodeString Url;
    /// Opened: the status-line text; otherwise why nothing was opened, for a message box.
    rtl::UnicodeString Message;
    /// The status line's text after the hand-off (opened or not); empty when the return was refused.
    rtl::UnicodeString Status;
};

/// Refuses a return that cannot be filed; otherwise builds its URL and opens it with launch
/// (OpenPortalUrl when none is given).
THandOffResult HandOffReturn(const sage::TSageDatasetVatReturn& vatReturn, const TPortalTarget& target,
                             const TPortalLauncher& launch = {});

} // namespace ven

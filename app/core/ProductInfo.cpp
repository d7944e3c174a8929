#include "app/core/ProductInfo.h"

#include "BuildConfig.h"

namespace ven {

using rtl::UnicodeString;

UnicodeString ProductVersionText() {
    return u"Venturo MTD " + rtl::Utf8ToString(VENTURO_PRODUCT_VERSION);
}

UnicodeString UpdateServerText() {
    return rtl::Utf8ToString(VENTURO_UPDATE_SERVER_URL);
}

UnicodeString VersionReport(const UnicodeString& installedVersion) {
    UnicodeString report = ProductVersionText() + u"\n";
    if (!installedVersion.empty()) {
        report += u"Installed by update: " + installedVersion + u"\n";
    }
    return report + u"Update server: " + UpdateServerText() + u"\n";
}

UnicodeString LicenceText() {
    return u"Venturo MTD is licensed, not sold, to the business that bought it, for use on its own "
           u"computers and those of its bookkeepers.\n\n"
           u"It reads the Sage company data on this computer and never changes it. It sends nothing to "
           u"HMRC itself: it opens the MTD portal in your browser with the chosen VAT return, and the "
           u"portal makes the submission once you have signed in and confirmed it.\n\n"
           u"You may not copy the program for use elsewhere, sell or lend it, or take it apart. The "
           u"figures sent are those Sage holds: check them in the portal before you submit. The program "
           u"comes without any warranty beyond what the law requires; the maker is not liable for "
           u"penalties, interest or losses arising from returns submitted with it.";
}

} // namespace ven

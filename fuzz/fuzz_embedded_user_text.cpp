// Fuzzes ORVILookupEmbeddedUserText with a provider that echoes keys: the first byte gives the marker
// lengths and which providers to use; the markers follow, then the template (UTF-8). The provider
// answers a key with the key itself, or for keys starting with "!" with the key wrapped in the markers
// again, which reproduces the placeholder without end and must stop at the bound.
#include "utils/text/ORVI.LookupUserText.h"

#include <cstdint>
#include <vector>

namespace {

class TEcho : public rtl::TObject, public orvi::IORVIStringProvider {
public:
    rtl::UnicodeString szStart, szEnd;
    rtl::TObject* GetImplementor() override { return this; }
    bool GetUserTextString(const rtl::UnicodeString& szInput, rtl::UnicodeString& szOutput) override {
        if (szInput.empty())
            return false;
        szOutput = szInput[0] == u'!' ? szStart + szInput + szEnd : szInput;
        return true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    const std::uint8_t head = data[0];
    std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::size_t startLength = std::min<std::size_t>(head & 3, rest.size());
    const std::string start(rest.substr(0, startLength));
    rest.remove_prefix(startLength);
    const std::size_t endLength = std::min<std::size_t>(head >> 2 & 3, rest.size());
    const std::string end(rest.substr(0, endLength));
    rest.remove_prefix(endLength);

    TEcho echo;
    echo.szStart = rtl::Utf8ToString(start);
    echo.szEnd = rtl::Utf8ToString(end);
    const rtl::UnicodeString text = rtl::Utf8ToString(rest);
    rtl::UnicodeString result;
    if (head & 16) {
        rtl::TStringList named;
        named.AddObject(u"", &echo);
        named.AddObject(u"Echo", &echo);
        orvi::ORVILookupEmbeddedUserText(echo.szStart, echo.szEnd, text, result, &named);
    } else {
        const std::vector<rtl::TObject*> list{&echo};
        orvi::ORVILookupEmbeddedUserText(echo.szStart, echo.szEnd, text, result, list);
    }
    return 0;
}

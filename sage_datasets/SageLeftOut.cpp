#include "sage_datasets/SageLeftOut.h"

#include "rtl/Exceptions.h"

namespace sage {

namespace {

using rtl::UnicodeString;

// The message with the file it names taken out: true when it named one (then set in file).
bool SplitNamedFile(const UnicodeString& message, UnicodeString& file, UnicodeString& rest) {
    // `<file>: <reason>`, as XML documents name their source.
    if (!file.empty() && message.starts_with(file + u": ")) {
        rest = message.substr(file.size() + 2);
        return true;
    }
    // `<verb> "<file>". <reason>` and `"<file>": <reason>`.
    const std::size_t open = message.find(u'"');
    if (open == UnicodeString::npos) {
        return false;
    }
    for (const char16_t* close : {u"\". ", u"\": "}) {
        const std::size_t at = message.find(close, open + 1);
        if (at != UnicodeString::npos) {
            file = message.substr(open + 1, at - open - 1);
            rest = message.substr(at + 3);
            return true;
        }
    }
    return false;
}

UnicodeString Sentence(UnicodeString text) {
    while (!text.empty() && (text.back() == u'.' || text.back() == u' ')) {
        text.pop_back();
    }
    if (!text.empty() && text[0] >= u'a' && text[0] <= u'z') {
        text[0] = static_cast<char16_t>(text[0] - u'a' + u'A');
    }
    return text;
}

} // namespace

TSageLeftOut LeftOutOf(const std::exception& e, const UnicodeString& szPath, const UnicodeString& szFile) {
    const auto* error = dynamic_cast<const rtl::Exception*>(&e);
    const UnicodeString message = error ? error->Message() : rtl::Utf8ToString(e.what());
    TSageLeftOut item{szPath, szFile, {}};
    UnicodeString rest;
    const bool named = SplitNamedFile(message, item.File, rest);
    const UnicodeString detail = Sentence(named ? rest : message);
    if (dynamic_cast<const rtl::EXmlError*>(&e) && named) {
        // A document's own errors name it; an element's (elements where text stands) do not.
        item.Reason = rest.find(u"too large") != UnicodeString::npos ? detail : u"Malformed XML: " + detail;
    } else if (dynamic_cast<const rtl::EInOutError*>(&e)) {
        item.Reason = detail;
    } else {
        item.Reason = u"Invalid content: " + detail;
    }
    if (item.File.empty()) {
        item.File = szPath;
    }
    return item;
}

} // namespace sage

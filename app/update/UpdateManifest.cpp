#include "app/update/UpdateManifest.h"

#include "app/update/UpdateInstall.h"
#include "rtl/Exceptions.h"

#include <algorithm>

namespace ven {

using rtl::UnicodeString;
using rtl::UnicodeStringView;

namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

bool IsHexDigit(char16_t c) {
    return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

UnicodeStringView StripLeadingZeros(UnicodeStringView s) {
    size_t i = 0;
    while (i + 1 < s.size() && s[i] == u'0') {
        ++i;
    }
    return s.substr(i);
}

std::vector<UnicodeStringView> SplitOn(UnicodeStringView s, char16_t separator) {
    std::vector<UnicodeStringView> parts;
    size_t start = 0;
    for (;;) {
        size_t at = s.find(separator, start);
        parts.push_back(
            s.substr(start, at == UnicodeStringView::npos ? UnicodeStringView::npos : at - start));
        if (at == UnicodeStringView::npos) {
            return parts;
        }
        start = at + 1;
    }
}

// Numbers of any length compare without overflow: fewer significant digits is smaller.
int CompareNumberText(UnicodeStringView a, UnicodeStringView b) {
    a = StripLeadingZeros(a);
    b = StripLeadingZeros(b);
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    return a.compare(b) < 0 ? -1 : (a.compare(b) > 0 ? 1 : 0);
}

// Pattern reading shared by dates and times: letter runs read numbers, the separator character of
// the pattern matches the configured separator, anything else matches itself.
struct TPatternFields {
    int Values[128] = {};
    bool Seen[128] = {};
};

bool ReadNumber(UnicodeStringView text, size_t& pos, size_t minDigits, size_t maxDigits, int& value) {
    size_t start = pos;
    value = 0;
    while (pos < text.size() && pos - start < maxDigits && IsDigit(text[pos])) {
        value = value * 10 + (text[pos++] - u'0');
    }
    return pos - start >= minDigits;
}

bool MatchPattern(UnicodeStringView text, UnicodeStringView pattern, char16_t patternSeparator,
                  char16_t separator, TPatternFields& fields) {
    size_t pos = 0;
    for (size_t p = 0; p < pattern.size();) {
        char16_t c = rtl::LoCaseAscii(pattern[p]);
        if (c >= u'a' && c <= u'z') {
            size_t run = 1;
            while (p + run < pattern.size() && rtl::LoCaseAscii(pattern[p + run]) == c) {
                ++run;
            }
            size_t minDigits = run == 1 ? 1 : run;
            size_t maxDigits = run == 1 ? 2 : run;
            if (fields.Seen[c] || !ReadNumber(text, pos, minDigits, maxDigits, fields.Values[c])) {
                return false;
            }
            fields.Seen[c] = true;
            if (c == u'y' && run == 2) {
                fields.Values[c] += 2000;
            }
            p += run;
            continue;
        }
        char16_t expected = c == patternSeparator ? separator : pattern[p];
        if (pos >= text.size() || text[pos] != expected) {
            return false;
        }
        ++pos;
        ++p;
    }
    return pos == text.size();
}

[[noreturn]] void Fail(int line, const UnicodeString& fault) {
    UnicodeString where =
        line > 0 ? u"Update manifest, line " + rtl::IntToStr(line) + u": " : u"Update manifest: ";
    throw rtl::EConvertError(where + fault);
}

TManifestFile ParseFileEntry(UnicodeStringView value, int line) {
    // "<size> <sha256> <name>": the name comes last so that it may hold spaces.
    UnicodeString rest = rtl::Trim(value);
    size_t gap1 = rest.find(u' ');
    size_t gap2 = gap1 == UnicodeString::npos ? gap1 : rest.find(u' ', gap1 + 1);
    if (gap2 == UnicodeString::npos) {
        Fail(line, u"a file entry needs a size, a SHA-256 digest and a name");
    }
    TManifestFile file;
    UnicodeString size = rest.substr(0, gap1);
    if (size.empty() || !std::all_of(size.begin(), size.end(), IsDigit) ||
        CompareNumberText(size, rtl::IntToStr(kMaxManifestFileSize)) > 0) {
        Fail(line, u"invalid file size '" + size + u"'");
    }
    file.Size = rtl::StrToInt64(size);
    file.Sha256 = rtl::LowerCase(rest.substr(gap1 + 1, gap2 - gap1 - 1));
    if (file.Sha256.size() != 64 || !std::all_of(file.Sha256.begin(), file.Sha256.end(), IsHexDigit)) {
        Fail(line, u"invalid SHA-256 digest '" + file.Sha256 + u"'");
    }
    file.Name = rtl::Trim(rest.substr(gap2 + 1));
    if (!IsSafeRelativeName(file.Name)) {
        Fail(line, u"unsafe file name '" + file.Name + u"'");
    }
    return file;
}

struct TManifestReader {
    explicit TManifestReader(const TManifestFormat& format) : Format(format) {}

    const TManifestFormat& Format;
    TUpdateManifest Manifest;
    UnicodeString Date, Time;
    int DateLine = 0, TimeLine = 0;
    bool InOurSection = false, SawOurSection = false, SawAnySection = false;

    void Line(UnicodeStringView raw, int line) {
        UnicodeString text = rtl::Trim(raw);
        if (text.empty() || text[0] == u';' || text[0] == u'#') {
            return;
        }
        if (text.front() == u'[') {
            if (text.back() != u']') {
                Fail(line, u"unterminated section name");
            }
            InOurSection = rtl::SameText(rtl::Trim(text.substr(1, text.size() - 2)), Format.Signature);
            if (InOurSection && SawOurSection) {
                Fail(line, u"the section [" + Format.Signature + u"] appears twice");
            }
            SawOurSection = SawOurSection || InOurSection;
            SawAnySection = true;
            return;
        }
        size_t eq = text.find(u'=');
        if (eq == UnicodeString::npos) {
            Fail(line, u"expected name=value");
        }
        if (InOurSection) {
            Value(rtl::Trim(text.substr(0, eq)), rtl::Trim(text.substr(eq + 1)), line);
        } else if (!SawAnySection) {
            Fail(line, u"value before the first section");
        }
    }

    void Value(const UnicodeString& key, const UnicodeString& value, int line) {
        if (rtl::SameText(key, u"Version")) {
            if (!IsValidVersion(value)) {
                Fail(line, u"invalid version '" + value + u"'");
            }
            Manifest.Version = value;
        } else if (rtl::SameText(key, u"Date")) {
            Date = value;
            DateLine = line;
        } else if (rtl::SameText(key, u"Time")) {
            Time = value;
            TimeLine = line;
        } else if (rtl::SameText(key, u"File")) {
            TManifestFile file = ParseFileEntry(value, line);
            CheckNameClashes(file.Name, line);
            Manifest.Files.push_back(std::move(file));
        } else if (rtl::SameText(key, u"License")) {
            if (Manifest.License) {
                Fail(line, u"more than one licence file");
            }
            Manifest.License = ParseFileEntry(value, line);
        }
        // Other names are left for later versions of the format.
    }

    // Names are compared without regard to case, as a Windows program folder would: a release whose
    // names clash could only be installed in part.
    void CheckNameClashes(const UnicodeString& name, int line) {
        if (rtl::SameText(name.substr(0, name.find(u'/')), kInstallWorkFolder)) {
            Fail(line, u"the file '" + name + u"' is in the install's own folder " + kInstallWorkFolder);
        }
        for (const TManifestFile& other : Manifest.Files) {
            if (rtl::SameText(other.Name, name)) {
                Fail(line, u"the file '" + name + u"' is listed twice");
            }
            if (IsFolderOf(other.Name, name) || IsFolderOf(name, other.Name)) {
                Fail(line, u"the file '" + name + u"' clashes with the file '" + other.Name + u"'");
            }
        }
    }

    static bool IsFolderOf(const UnicodeString& folder, const UnicodeString& name) {
        return name.size() > folder.size() && name[folder.size()] == u'/' &&
               rtl::SameText(name.substr(0, folder.size()), folder);
    }

    void Finish() {
        if (!SawOurSection) {
            Fail(0, u"no [" + Format.Signature + u"] section");
        }
        if (Manifest.Version.empty()) {
            Fail(0, u"no version");
        }
        rtl::TDateTime date = 0, time = 0;
        if (Date.empty() || !TryParseManifestDate(Date, Format.DateFormat, Format.DateSeparator, date)) {
            Fail(DateLine, u"invalid or missing release date '" + Date + u"'");
        }
        if (Time.empty() || !TryParseManifestTime(Time, Format.TimeFormat, Format.TimeSeparator, time)) {
            Fail(TimeLine, u"invalid or missing release time '" + Time + u"'");
        }
        Manifest.ReleaseDate = date + time;
        if (Manifest.Files.empty()) {
            Fail(0, u"no files");
        }
    }
};

} // namespace

TUpdateManifest ParseUpdateManifest(UnicodeStringView text, const TManifestFormat& format) {
    TManifestReader reader(format);
    int line = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(u'\n', start);
        ++line;
        reader.Line(
            text.substr(start, end == UnicodeStringView::npos ? UnicodeStringView::npos : end - start), line);
        if (end == UnicodeStringView::npos) {
            break;
        }
        start = end + 1;
    }
    reader.Finish();
    return std::move(reader.Manifest);
}

bool IsValidVersion(UnicodeStringView version) {
    for (UnicodeStringView part : SplitOn(version, u'.')) {
        if (part.empty() || !std::all_of(part.begin(), part.end(), IsDigit)) {
            return false;
        }
    }
    return true;
}

int CompareVersions(UnicodeStringView a, UnicodeStringView b) {
    for (UnicodeStringView v : {a, b}) {
        if (!IsValidVersion(v)) {
            throw rtl::EConvertError(u"Invalid version '" + UnicodeString(v) + u"'");
        }
    }
    std::vector<UnicodeStringView> pa = SplitOn(a, u'.'), pb = SplitOn(b, u'.');
    for (size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
        int c = CompareNumberText(i < pa.size() ? pa[i] : u"0", i < pb.size() ? pb[i] : u"0");
        if (c != 0) {
            return c;
        }
    }
    return 0;
}

bool IsSafeRelativeName(UnicodeStringView name) {
    static constexpr UnicodeStringView kAllowed = u" ._-+()";
    for (UnicodeStringView part : SplitOn(name, u'/')) {
        if (part.empty() || part == u"." || part == u".." || part.front() == u' ' || part.back() == u' ') {
            return false;
        }
        for (char16_t c : part) {
            bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
            if (!letter && !IsDigit(c) && kAllowed.find(c) == UnicodeStringView::npos) {
                return false;
            }
        }
    }
    return true;
}

bool TryParseManifestDate(UnicodeStringView text, UnicodeStringView pattern, char16_t separator,
                          rtl::TDateTime& date) {
    TPatternFields f;
    if (!MatchPattern(text, pattern, u'/', separator, f) || !f.Seen[u'd'] || !f.Seen[u'm'] || !f.Seen[u'y']) {
        return false;
    }
    return rtl::TryEncodeDate(f.Values[u'y'], f.Values[u'm'], f.Values[u'd'], date);
}

bool TryParseManifestTime(UnicodeStringView text, UnicodeStringView pattern, char16_t separator,
                          rtl::TDateTime& time) {
    TPatternFields f;
    if (!MatchPattern(text, pattern, u':', separator, f) || !f.Seen[u'h'] || !f.Seen[u'n']) {
        return false;
    }
    return rtl::TryEncodeTime(f.Values[u'h'], f.Values[u'n'], f.Values[u's'], 0, time);
}

} // namespace ven

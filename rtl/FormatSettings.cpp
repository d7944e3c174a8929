#include "rtl/FormatSettings.h"

#include "rtl/UnicodeString.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <langinfo.h>
#include <locale.h>
#endif

namespace rtl {

namespace {

#ifdef _WIN32

char16_t LocaleChar(LCTYPE type, char16_t fallback) {
    wchar_t buf[16] = {};
    if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, type, buf, 16) > 0 && buf[0] != 0)
        return static_cast<char16_t>(buf[0]);
    return fallback;
}

#else

// First character of a langinfo item, or fallback when the item is empty.
char16_t FirstChar(const char* text, char16_t fallback) {
    if (text == nullptr || *text == '\0')
        return fallback;
    const UnicodeString s = Utf8ToString(text);
    return s.empty() ? fallback : s[0];
}

// The first literal separator in a strftime-style format such as "%d/%m/%y".
char16_t FormatSeparator(const char* format, char16_t fallback) {
    if (format == nullptr)
        return fallback;
    const UnicodeString s = Utf8ToString(format);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c == u'%') {
            ++i;
            while (i < s.size() && (s[i] == u'E' || s[i] == u'O' || s[i] == u'-' || s[i] == u'_'))
                ++i; // modifiers belong to the conversion
            continue;
        }
        const bool letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
        if (!letter && c > u' ')
            return c;
    }
    return fallback;
}

#endif

} // namespace

TFormatSettings LocaleFormatSettings() {
    TFormatSettings fs;
#ifdef _WIN32
    fs.DateSeparator = LocaleChar(LOCALE_SDATE, fs.DateSeparator);
    fs.TimeSeparator = LocaleChar(LOCALE_STIME, fs.TimeSeparator);
    fs.DecimalSeparator = LocaleChar(LOCALE_SDECIMAL, fs.DecimalSeparator);
    fs.ThousandSeparator = LocaleChar(LOCALE_STHOUSAND, fs.ThousandSeparator);
#else
    // "" names the locale chosen by LC_ALL / LC_* / LANG; an unknown name leaves the defaults.
    if (locale_t numeric = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(0))) {
        fs.DecimalSeparator = FirstChar(nl_langinfo_l(RADIXCHAR, numeric), fs.DecimalSeparator);
        fs.ThousandSeparator = FirstChar(nl_langinfo_l(THOUSEP, numeric), fs.ThousandSeparator);
        freelocale(numeric);
    }
    if (locale_t time = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0))) {
        fs.DateSeparator = FormatSeparator(nl_langinfo_l(D_FMT, time), fs.DateSeparator);
        fs.TimeSeparator = FormatSeparator(nl_langinfo_l(T_FMT, time), fs.TimeSeparator);
        freelocale(time);
    }
    if (fs.ThousandSeparator == fs.DecimalSeparator)
        fs.ThousandSeparator = fs.DecimalSeparator == u',' ? u'.' : u',';
#endif
    return fs;
}

TFormatSettings& FormatSettings() {
    static TFormatSettings settings = LocaleFormatSettings();
    return settings;
}

void LoadLocaleFormatSettings() {
    FormatSettings() = LocaleFormatSettings();
}

} // namespace rtl

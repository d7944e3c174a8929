#pragma once
// Puts the process in a locale whose decimal separator is a comma (as a Qt program is once it starts)
// for one test, and back afterwards. scripts/install-deps.sh generates the locale.
#include <gtest/gtest.h>

#include <clocale>
#include <string>

class TCommaDecimalLocale {
public:
    TCommaDecimalLocale() {
        const char* current = std::setlocale(LC_ALL, nullptr);
        _szSaved = current ? current : "C";
        _blActive = std::setlocale(LC_ALL, "de_DE.UTF-8") && std::localeconv()->decimal_point[0] == ',';
    }
    ~TCommaDecimalLocale() { std::setlocale(LC_ALL, _szSaved.c_str()); }
    bool Active() const { return _blActive; }

private:
    std::string _szSaved;
    bool _blActive = false;
};

// Declares a TCommaDecimalLocale named guard, or skips the test when the machine lacks the locale.
#define UNDER_COMMA_DECIMAL_LOCALE(guard)                                                                   \
    TCommaDecimalLocale guard;                                                                              \
    if (!guard.Active())                                                                                    \
    GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed (scripts/install-deps.sh generates it)"

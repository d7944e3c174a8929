#pragma once
// What the window tests set up around the program on the desktop, which differs by system: the place
// where a program started afterwards finds the demo datasets, and the opener of https links.
#include "rtl/UnicodeString.h"

#include <QProcessEnvironment>
#include <QString>

#include <filesystem>

namespace ven::testing {

/// The demo datasets, written where the standard search of a process started afterwards (with
/// Prepare's environment) finds them: off Windows a Wine-style prefix that WINEPREFIX names; on
/// Windows COMPANY files in the system's shared application-data folder, removed with this object.
class TDemoDatasets {
public:
    explicit TDemoDatasets(const std::filesystem::path& folder);
    ~TDemoDatasets();
    TDemoDatasets(const TDemoDatasets&) = delete;
    TDemoDatasets& operator=(const TDemoDatasets&) = delete;
    /// How many of them load; 0 when they could not be put where the search looks (files of an
    /// installation are there already).
    int Loadable() const { return _nLoadable; }
    void Prepare(QProcessEnvironment& env) const;

private:
    std::filesystem::path _prefix;
    std::filesystem::path _placed; // made in the system's folders, removed again
    int _nLoadable = 0;
};

/// The opener of https links replaced, for the life of the object, by a program that cannot be
/// started (Missing) or by one that starts and ends with exit status 3 (Failing): off Windows
/// xdg-open found on PATH, on Windows the program registered for the https scheme.
class TBrokenUrlOpener {
public:
    enum class TKind { Missing, Failing };
    TBrokenUrlOpener(TKind kind, const std::filesystem::path& folder);
    ~TBrokenUrlOpener();
    TBrokenUrlOpener(const TBrokenUrlOpener&) = delete;
    TBrokenUrlOpener& operator=(const TBrokenUrlOpener&) = delete;
    /// What the hand-off's message says of the failure, in this system's words.
    QString Reason() const { return _szReason; }

private:
    rtl::UnicodeString _szSaved; // what the opener was before
    bool _blSaved = false;
    bool _blCreated = false;
    QString _szReason;
};

} // namespace ven::testing

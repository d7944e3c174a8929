#pragma once
// Installing a verified release into the program's folder so that, whenever the process dies, the
// folder is wholly old or wholly new once the next start has run RecoverInterruptedInstall.
// New copies and the old files kept for rolling back live in a private work folder inside the
// program's folder (same file system, so each file is replaced by one atomic rename), and a
// journal written before the first file is touched says what to undo.
#include "rtl/Exceptions.h"
#include "rtl/UnicodeString.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace ven {

/// The work folder's name inside the program's folder; no release file may be named so.
inline constexpr char16_t kInstallWorkFolder[] = u".webupdate";

/// An install was cut short, its journal cannot be read, and the program's folder cannot be made
/// wholly old or wholly new again from what the install kept: the message says how to reinstall.
class EInstallDamaged : public rtl::EInOutError {
public:
    using EInOutError::EInOutError;
    std::shared_ptr<const rtl::Exception> Clone() const override {
        return std::make_shared<EInstallDamaged>(*this);
    }
};

/// The user may not create files in the program's folder: a copy installed for every user of the
/// computer, whose new version comes with its installer.
class EInstallFolderNotWritable : public rtl::EFCreateError {
public:
    using EFCreateError::EFCreateError;
    std::shared_ptr<const rtl::Exception> Clone() const override {
        return std::make_shared<EInstallFolderNotWritable>(*this);
    }
};

/// One verified file of a release: its "/"-separated name below the program's folder, where its
/// bytes wait, and their size and SHA-256 digest (checked again when they are read back).
struct TInstallFile {
    rtl::UnicodeString Name;
    rtl::UnicodeString Source;
    std::int64_t Size = 0;
    rtl::UnicodeString Sha256;
};

/// Called before every rename, link and sync of an install, with what is about to happen; an
/// exception of any type thrown from it stops the install exactly there, as a crash would (only
/// rtl::Exception is rolled back at once).
using TInstallStepHook = std::function<void(const rtl::UnicodeString& step)>;

/// Installs every file into folder or none: raises rtl::Exception, after putting everything back,
/// when it cannot. Runs RecoverInterruptedInstall first.
void InstallFiles(const rtl::UnicodeString& folder, const std::vector<TInstallFile>& files,
                  const TInstallStepHook& onStep = {});

/// Raises rtl::Exception, having changed nothing, when folder cannot take an install: the user may
/// not create files in it (EInstallFolderNotWritable), an earlier install cannot be recovered there,
/// the work folder's name is taken by a link or a file, or the work folder cannot be made in it.
void CheckInstallFolder(const rtl::UnicodeString& folder, const TInstallStepHook& onStep = {});

/// Finishes (removes the kept old files) or rolls back (puts them back) an install into folder that
/// did not complete, or removes the old files an install set aside that were still in use then;
/// returns what was done, empty when there was nothing to do. A link or a file where the work folder
/// should be is left as it is (and said so): no link is ever followed. When the journal cannot be
/// read, the digests kept beside it say which files are old and which new: a folder wholly new is
/// finished, any other rolled back from the kept old files. Raises EInstallDamaged when that cannot
/// be done, rtl::Exception when the old files cannot be put back.
rtl::UnicodeString RecoverInterruptedInstall(const rtl::UnicodeString& folder);

} // namespace ven

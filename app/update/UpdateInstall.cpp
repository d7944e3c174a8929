#include "app/update/UpdateInstall.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"
#include "rtl/NoFollowFiles.h"

#include <QCryptographicHash>
#include <QString>

#include <algorithm>

namespace ven {

using rtl::UnicodeString;

namespace {

constexpr char16_t kJournalName[] = u"journal";
// Beside the journal: each file's new and old digests, for a journal that cannot be read.
constexpr char16_t kDigestsName[] = u"digests";

// What an install is about to do, written before the first file of the program is touched.
struct TJournal {
    struct TEntry {
        UnicodeString Name;
        bool HadOld = false;
        UnicodeString NewSha256, OldSha256; // OldSha256 empty: no old file
    };
    bool Installed = false;
    std::vector<TEntry> Files;
    std::vector<UnicodeString> Folders; // made by the install, outermost first
};

QString ToQ(const UnicodeString& s) {
    return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size()));
}

UnicodeString Below(const UnicodeString& folder, const UnicodeString& name) {
    return rtl::CombinePath(folder, rtl::StringReplace(name, u"/", UnicodeString(1, rtl::PathDelim),
                                                       rtl::TReplaceFlag::rfReplaceAll));
}

UnicodeString WorkFolder(const UnicodeString& folder) {
    return rtl::CombinePath(folder, kInstallWorkFolder);
}

UnicodeString NewCopy(const UnicodeString& folder, const UnicodeString& name) {
    return Below(rtl::CombinePath(WorkFolder(folder), u"new"), name);
}

UnicodeString KeptOld(const UnicodeString& folder, const UnicodeString& name) {
    return Below(rtl::CombinePath(WorkFolder(folder), u"old"), name);
}

UnicodeString JournalFile(const UnicodeString& folder) {
    return rtl::CombinePath(WorkFolder(folder), kJournalName);
}

UnicodeString DigestsFile(const UnicodeString& folder) {
    return rtl::CombinePath(WorkFolder(folder), kDigestsName);
}

// The SHA-256 digest of a file's bytes in lower-case hex; empty when there is no such file.
UnicodeString DigestOf(const UnicodeString& path) {
    if (!rtl::FileExists(path)) {
        return UnicodeString();
    }
    rtl::TBytes bytes = rtl::ReadAllBytes(path);
    QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return rtl::U(QCryptographicHash::hash(view, QCryptographicHash::Sha256).toHex().toStdString());
}

std::string DigestsText(const TJournal& journal) {
    std::string text;
    for (const UnicodeString& name : journal.Folders) {
        text += "folder=" + rtl::StringToUtf8(name) + "\n";
    }
    for (const TJournal::TEntry& entry : journal.Files) {
        text += "digest=" + rtl::StringToUtf8(entry.NewSha256) + " " +
                (entry.HadOld ? rtl::StringToUtf8(entry.OldSha256) : std::string("-")) + " " +
                rtl::StringToUtf8(entry.Name) + "\n";
    }
    return text;
}

TJournal ReadDigests(const UnicodeString& path) {
    rtl::TBytes bytes = rtl::ReadAllBytes(path, 1 << 20);
    UnicodeString text =
        rtl::Utf8ToString(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    TJournal digests;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find(u'\n', start), text.size());
        UnicodeString line = text.substr(start, end - start);
        start = end + 1;
        if (line.starts_with(u"folder=")) {
            digests.Folders.push_back(line.substr(7));
            continue;
        }
        // "digest=<new digest> <old digest, or - for none> <name>"
        UnicodeString rest = line.starts_with(u"digest=") ? line.substr(7) : UnicodeString();
        size_t gap1 = rest.find(u' ');
        size_t gap2 = gap1 == UnicodeString::npos ? gap1 : rest.find(u' ', gap1 + 1);
        UnicodeString newSha = rest.substr(0, gap1);
        UnicodeString oldSha =
            gap2 == UnicodeString::npos ? UnicodeString() : rest.substr(gap1 + 1, gap2 - gap1 - 1);
        bool hadOld = oldSha != u"-";
        if (gap2 == UnicodeString::npos || newSha.size() != 64 || (hadOld && oldSha.size() != 64)) {
            throw rtl::EReadError(path + u": not the install's digests");
        }
        digests.Files.push_back({rest.substr(gap2 + 1), hadOld, newSha, hadOld ? oldSha : UnicodeString()});
    }
    return digests;
}

std::string JournalText(const TJournal& journal) {
    std::string text = journal.Installed ? "state=installed\n" : "state=installing\n";
    for (const UnicodeString& name : journal.Folders) {
        text += "folder=" + rtl::StringToUtf8(name) + "\n";
    }
    for (const TJournal::TEntry& entry : journal.Files) {
        text += std::string("file=") + (entry.HadOld ? "1 " : "0 ") + rtl::StringToUtf8(entry.Name) + "\n";
    }
    return text;
}

TJournal ReadJournal(const UnicodeString& path) {
    rtl::TBytes bytes = rtl::ReadAllBytes(path, 1 << 20);
    UnicodeString text =
        rtl::Utf8ToString(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    TJournal journal;
    bool sawState = false;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = std::min(text.find(u'\n', start), text.size());
        UnicodeString line = text.substr(start, end - start);
        start = end + 1;
        if (line == u"state=installed" || line == u"state=installing") {
            journal.Installed = line == u"state=installed";
            sawState = true;
        } else if (line.starts_with(u"folder=")) {
            journal.Folders.push_back(line.substr(7));
        } else if (line.starts_with(u"file=0 ") || line.starts_with(u"file=1 ")) {
            journal.Files.push_back({line.substr(7), line[5] == u'1', UnicodeString(), UnicodeString()});
        } else {
            throw rtl::EReadError(path + u": not an install journal");
        }
    }
    if (!sawState) {
        throw rtl::EReadError(path + u": not an install journal");
    }
    return journal;
}

// The folders, outermost first, that ForceDirectories(folder) would create.
std::vector<UnicodeString> MissingFolders(UnicodeString folder) {
    std::vector<UnicodeString> missing;
    while (!folder.empty() && !rtl::DirectoryExists(folder)) {
        missing.insert(missing.begin(), folder);
        UnicodeString parent = rtl::ExtractFileDir(folder);
        if (parent == folder) {
            break;
        }
        folder = parent;
    }
    return missing;
}

void Step(const TInstallStepHook& onStep, const UnicodeString& what) {
    if (onStep) {
        onStep(what);
    }
}

UnicodeString SetAside(const UnicodeString& folder, const UnicodeString& name) {
    return Below(rtl::CombinePath(WorkFolder(folder), u"aside"), name);
}

// Clears target's name when the file there cannot simply be replaced or removed: on Windows the
// process undoing an install may run the new program, whose file (and libraries) cannot be.
bool ClearInUse(const UnicodeString& folder, const UnicodeString& name) {
    UnicodeString target = Below(folder, name), aside = SetAside(folder, name);
    return rtl::ForceDirectories(rtl::ExtractFileDir(aside)) && !rtl::FileExists(aside) &&
           rtl::SetFileAside(target, aside) && !rtl::FileExists(target);
}

// A new file that cannot simply be renamed over (the new program running the rollback) is set
// aside by the same call that puts the old one back, so the name is never free.
bool PutBackOld(const UnicodeString& folder, const UnicodeString& name) {
    UnicodeString target = Below(folder, name), kept = KeptOld(folder, name), aside = SetAside(folder, name);
    return rtl::RenameFile(kept, target) ||
           (rtl::ForceDirectories(rtl::ExtractFileDir(aside)) && !rtl::FileExists(aside) &&
            rtl::ReplaceFileKeepingOld(target, kept, aside));
}

bool RemoveNew(const UnicodeString& folder, const UnicodeString& name) {
    return rtl::DeleteFile(Below(folder, name)) || ClearInUse(folder, name);
}

// Puts back every old file the journal names and removes the new ones that had none. Done again
// it changes nothing.
void RollBack(const UnicodeString& folder, const TJournal& journal) {
    for (auto it = journal.Files.rbegin(); it != journal.Files.rend(); ++it) {
        UnicodeString target = Below(folder, it->Name), kept = KeptOld(folder, it->Name);
        if (it->HadOld) {
            if (rtl::FileExists(kept) && !PutBackOld(folder, it->Name)) {
                throw rtl::EWriteError(u"Cannot put back " + target);
            }
        } else if (rtl::FileExists(target) && !RemoveNew(folder, it->Name)) {
            throw rtl::EWriteError(u"Cannot remove " + target);
        }
        rtl::SyncToDisk(rtl::ExtractFileDir(target));
    }
    for (auto it = journal.Folders.rbegin(); it != journal.Folders.rend(); ++it) {
        rtl::RemoveEmptyFolder(*it);
    }
}

// The journal goes before the folder it is in: without it, what is left is only copies. Nothing
// is removed through a link (the caller has made sure the work folder itself is none). Old files
// still in use (on Windows, the program that ran the install and the libraries it loaded) cannot
// go yet: the journal stays, and the next start, which runs the journal again, removes them.
void RemoveWorkFolder(const UnicodeString& folder) {
    UnicodeString work = WorkFolder(folder);
    rtl::RemoveFolderTree(rtl::CombinePath(work, u"new"));
    bool inUse = false;
    for (const char16_t* kept : {u"old", u"aside"}) {
        inUse = rtl::RemoveFolderTree(rtl::CombinePath(work, kept)) == rtl::TRemoveTreeResult::rtIncomplete ||
                inUse;
    }
    if (inUse && rtl::FileExists(JournalFile(folder))) {
        return;
    }
    rtl::DeleteFile(JournalFile(folder));
    rtl::DeleteFile(DigestsFile(folder));
    rtl::RemoveFolderTree(work);
    rtl::SyncToDisk(folder);
}

// A link or a file where the work folder should be was not made by an install: it is left as it
// is, and nothing is removed or written through it.
bool IsForeignWorkFolder(const UnicodeString& folder) {
    rtl::TEntryKind kind = rtl::EntryKindNoFollow(WorkFolder(folder));
    return kind != rtl::TEntryKind::ekNone && kind != rtl::TEntryKind::ekDirectory;
}

[[noreturn]] void RefuseForeignWorkFolder(const UnicodeString& folder) {
    throw rtl::EFCreateError(WorkFolder(folder) +
                             u" is not the install's own folder (a link or a file); it was left as it is");
}

void CheckName(const UnicodeString& name) {
    UnicodeString first = name.substr(0, name.find(u'/'));
    if (rtl::SameText(first, kInstallWorkFolder)) {
        throw rtl::EConvertError(u"A release file may not be named " + name);
    }
}

// Writes the new copy of file into the work folder, checked against its digest once more.
TJournal::TEntry StageCopy(const UnicodeString& folder, const TInstallFile& file) {
    CheckName(file.Name);
    rtl::TBytes bytes = rtl::ReadAllBytes(file.Source, file.Size + 1);
    QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString digest = QString::fromLatin1(QCryptographicHash::hash(view, QCryptographicHash::Sha256).toHex());
    if (static_cast<std::int64_t>(bytes.size()) != file.Size || digest != ToQ(file.Sha256)) {
        throw rtl::EReadError(file.Source + u" changed after it was verified");
    }
    UnicodeString copy = NewCopy(folder, file.Name), target = Below(folder, file.Name);
    if (!rtl::ForceDirectories(rtl::ExtractFileDir(copy))) {
        throw rtl::EFCreateError(u"Cannot create " + rtl::ExtractFileDir(copy));
    }
    rtl::WriteFileAtomic(copy, std::string(bytes.begin(), bytes.end()));
    TJournal::TEntry entry{file.Name, rtl::FileExists(target), file.Sha256, DigestOf(target)};
    if (entry.HadOld && !(rtl::CopyFileMode(target, copy) && rtl::SyncToDisk(copy))) {
        throw rtl::EWriteError(u"Cannot give " + copy + u" the permissions of " + target);
    }
    return entry;
}

void Replace(const UnicodeString& folder, const TJournal::TEntry& entry, const TInstallStepHook& onStep) {
    UnicodeString target = Below(folder, entry.Name);
    if (!rtl::ForceDirectories(rtl::ExtractFileDir(target))) {
        throw rtl::EFCreateError(u"Cannot create " + rtl::ExtractFileDir(target));
    }
    if (entry.HadOld) {
        // The old file keeps a name in the work folder and the new copy takes its place in one
        // step, so the program's file is never missing, even where the running one cannot be
        // replaced (Windows).
        UnicodeString kept = KeptOld(folder, entry.Name);
        Step(onStep, u"keep " + entry.Name);
        if (!rtl::ForceDirectories(rtl::ExtractFileDir(kept))) {
            throw rtl::EWriteError(u"Cannot keep the old " + target);
        }
        Step(onStep, u"replace " + entry.Name);
        if (!rtl::ReplaceFileKeepingOld(target, NewCopy(folder, entry.Name), kept)) {
            throw rtl::EWriteError(u"Cannot replace " + target);
        }
    } else {
        Step(onStep, u"replace " + entry.Name);
        if (!rtl::RenameFile(NewCopy(folder, entry.Name), target)) {
            throw rtl::EWriteError(u"Cannot replace " + target);
        }
    }
    Step(onStep, u"sync " + rtl::ExtractFileDir(target));
    rtl::SyncToDisk(rtl::ExtractFileDir(target));
}

[[noreturn]] void ThrowDamaged(const UnicodeString& folder, const UnicodeString& what) {
    throw EInstallDamaged(u"The installation of Venturo MTD in " + folder +
                          u" is damaged: an update was cut short and " + what +
                          u". Reinstall Venturo MTD into that folder from its installer (or copy the whole "
                          u"program folder from a good copy), then delete the folder " +
                          WorkFolder(folder) + u".");
}

// The journal cannot be read: the digests say, file by file, what is old and what is new. A folder
// that is wholly new is finished; any other is rolled back to wholly old from the kept copies.
UnicodeString RecoverFromDigests(const UnicodeString& folder) {
    TJournal digests;
    try {
        digests = ReadDigests(DigestsFile(folder));
    } catch (const rtl::Exception&) {
        ThrowDamaged(folder, u"neither its journal nor its digests can be read");
    }
    const bool whollyNew = std::all_of(digests.Files.begin(), digests.Files.end(), [&](const auto& e) {
        return DigestOf(Below(folder, e.Name)) == e.NewSha256;
    });
    if (whollyNew) {
        RemoveWorkFolder(folder);
        return u"Finished an interrupted install whose journal was damaged";
    }
    std::vector<UnicodeString> lost;
    for (auto it = digests.Files.rbegin(); it != digests.Files.rend(); ++it) {
        UnicodeString target = Below(folder, it->Name), kept = KeptOld(folder, it->Name);
        UnicodeString now = DigestOf(target);
        if (!it->HadOld) {
            // Only a copy of the new file is the install's to remove.
            if (!now.empty() && (now != it->NewSha256 || !RemoveNew(folder, it->Name))) {
                lost.push_back(it->Name);
            }
        } else if (now != it->OldSha256 &&
                   !(DigestOf(kept) == it->OldSha256 && PutBackOld(folder, it->Name))) {
            lost.push_back(it->Name);
        }
        rtl::SyncToDisk(rtl::ExtractFileDir(target));
    }
    if (!lost.empty()) {
        UnicodeString names;
        for (const UnicodeString& name : lost) {
            names += (names.empty() ? u"" : u", ") + name;
        }
        ThrowDamaged(folder, u"these files could not be put back: " + names);
    }
    for (auto it = digests.Folders.rbegin(); it != digests.Folders.rend(); ++it) {
        rtl::RemoveEmptyFolder(*it);
    }
    RemoveWorkFolder(folder);
    return u"Rolled back an interrupted install whose journal was damaged";
}

} // namespace

void InstallFiles(const UnicodeString& folder, const std::vector<TInstallFile>& files,
                  const TInstallStepHook& onStep) {
    RecoverInterruptedInstall(folder);
    if (IsForeignWorkFolder(folder)) {
        RefuseForeignWorkFolder(folder);
    }
    TJournal journal;
    try {
        for (const TInstallFile& file : files) {
            journal.Files.push_back(StageCopy(folder, file));
            for (const UnicodeString& missing :
                 MissingFolders(rtl::ExtractFileDir(Below(folder, file.Name)))) {
                if (std::find(journal.Folders.begin(), journal.Folders.end(), missing) ==
                    journal.Folders.end()) {
                    journal.Folders.push_back(missing);
                }
            }
        }
        Step(onStep, u"write the digests");
        rtl::WriteFileAtomic(DigestsFile(folder), DigestsText(journal));
        Step(onStep, u"write the journal");
        rtl::WriteFileAtomic(JournalFile(folder), JournalText(journal));
    } catch (const rtl::Exception& e) {
        RemoveWorkFolder(folder); // nothing of the program was touched yet
        throw rtl::EWriteError(u"Nothing was installed: " + e.Message());
    }
    try {
        for (const TJournal::TEntry& entry : journal.Files) {
            Replace(folder, entry, onStep);
        }
        journal.Installed = true;
        Step(onStep, u"commit");
        rtl::WriteFileAtomic(JournalFile(folder), JournalText(journal));
    } catch (const rtl::Exception& e) {
        try {
            RollBack(folder, journal);
            RemoveWorkFolder(folder);
        } catch (const rtl::Exception& undo) {
            throw rtl::EWriteError(u"Nothing was installed, but " + undo.Message() +
                                   u"; the next start tries again");
        }
        throw rtl::EWriteError(u"Nothing was installed: " + e.Message());
    }
    Step(onStep, u"clean up");
    RemoveWorkFolder(folder);
}

void CheckInstallFolder(const UnicodeString& folder, const TInstallStepHook& onStep) {
    if (!rtl::DirectoryExists(folder)) {
        throw rtl::EFCreateError(u"the folder does not exist");
    }
    if (!rtl::CanCreateFilesIn(folder)) {
        throw EInstallFolderNotWritable(u"you may not change the files in it");
    }
    RecoverInterruptedInstall(folder);
    if (IsForeignWorkFolder(folder)) {
        RefuseForeignWorkFolder(folder);
    }
    // Making the work folder is what an install does first; it fails as a replace would.
    Step(onStep, u"make the work folder");
    UnicodeString work = WorkFolder(folder);
    if (!rtl::ForceDirectories(work)) {
        throw rtl::EFCreateError(u"Cannot create " + work);
    }
    rtl::RemoveEmptyFolder(work);
}

UnicodeString RecoverInterruptedInstall(const UnicodeString& folder) {
    if (IsForeignWorkFolder(folder)) {
        return u"Left " + WorkFolder(folder) + u" as it is: a link or a file, not an install's work folder";
    }
    if (rtl::EntryKindNoFollow(WorkFolder(folder)) == rtl::TEntryKind::ekNone) {
        return UnicodeString();
    }
    if (!rtl::FileExists(JournalFile(folder))) {
        RemoveWorkFolder(folder);
        return u"Removed the copies of an install that had not begun";
    }
    TJournal journal;
    try {
        journal = ReadJournal(JournalFile(folder));
    } catch (const rtl::Exception&) {
        return RecoverFromDigests(folder);
    }
    if (!journal.Installed) {
        RollBack(folder, journal);
    }
    RemoveWorkFolder(folder);
    return journal.Installed ? u"Finished an interrupted install" : u"Rolled back an interrupted install";
}

} // namespace ven

#include "app/update/UpdateInstall.h"

#include "rtl/Exceptions.h"
#include "rtl/Files.h"

#include <QCryptographicHash>
#include <QDir>

#include <algorithm>

namespace ven {

using rtl::UnicodeString;

namespace {

constexpr char16_t kJournalName[] = u"journal";

// What an install is about to do, written before the first file of the program is touched.
struct TJournal {
    struct TEntry {
        UnicodeString Name;
        bool HadOld = false;
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
            journal.Files.push_back({line.substr(7), line[5] == u'1'});
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

// Puts back every old file the journal names and removes the new ones that had none.
void RollBack(const UnicodeString& folder, const TJournal& journal) {
    for (auto it = journal.Files.rbegin(); it != journal.Files.rend(); ++it) {
        UnicodeString target = Below(folder, it->Name), kept = KeptOld(folder, it->Name);
        if (it->HadOld) {
            if (rtl::FileExists(kept) && !rtl::RenameFile(kept, target)) {
                throw rtl::EWriteError(u"Cannot put back " + target);
            }
        } else if (rtl::FileExists(target) && !rtl::DeleteFile(target)) {
            throw rtl::EWriteError(u"Cannot remove " + target);
        }
        rtl::SyncToDisk(rtl::ExtractFileDir(target));
    }
    for (auto it = journal.Folders.rbegin(); it != journal.Folders.rend(); ++it) {
        QDir().rmdir(ToQ(*it)); // only when empty
    }
}

// The journal goes before the folder it is in: without it, what is left is only copies.
void RemoveWorkFolder(const UnicodeString& folder) {
    UnicodeString work = WorkFolder(folder);
    QDir(ToQ(rtl::CombinePath(work, u"new"))).removeRecursively();
    QDir(ToQ(rtl::CombinePath(work, u"old"))).removeRecursively();
    rtl::DeleteFile(JournalFile(folder));
    QDir(ToQ(work)).removeRecursively();
    rtl::SyncToDisk(folder);
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
    TJournal::TEntry entry{file.Name, rtl::FileExists(target)};
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
        // A second name, not a move: the program's file is never missing.
        UnicodeString kept = KeptOld(folder, entry.Name);
        Step(onStep, u"keep " + entry.Name);
        if (!rtl::ForceDirectories(rtl::ExtractFileDir(kept)) || !rtl::CreateHardLink(target, kept)) {
            throw rtl::EWriteError(u"Cannot keep the old " + target);
        }
    }
    Step(onStep, u"replace " + entry.Name);
    if (!rtl::RenameFile(NewCopy(folder, entry.Name), target)) {
        throw rtl::EWriteError(u"Cannot replace " + target);
    }
    Step(onStep, u"sync " + rtl::ExtractFileDir(target));
    rtl::SyncToDisk(rtl::ExtractFileDir(target));
}

} // namespace

void InstallFiles(const UnicodeString& folder, const std::vector<TInstallFile>& files,
                  const TInstallStepHook& onStep) {
    RecoverInterruptedInstall(folder);
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
    RecoverInterruptedInstall(folder);
    // Making the work folder is what an install does first; it fails as a replace would.
    Step(onStep, u"make the work folder");
    UnicodeString work = WorkFolder(folder);
    if (!rtl::ForceDirectories(work)) {
        throw rtl::EFCreateError(u"Cannot create " + work);
    }
    QDir().rmdir(ToQ(work));
}

UnicodeString RecoverInterruptedInstall(const UnicodeString& folder) {
    if (!rtl::DirectoryExists(WorkFolder(folder))) {
        return UnicodeString();
    }
    if (!rtl::FileExists(JournalFile(folder))) {
        RemoveWorkFolder(folder);
        return u"Removed the copies of an install that had not begun";
    }
    TJournal journal = ReadJournal(JournalFile(folder));
    if (!journal.Installed) {
        RollBack(folder, journal);
    }
    RemoveWorkFolder(folder);
    return journal.Installed ? u"Finished an interrupted install" : u"Rolled back an interrupted install";
}

} // namespace ven

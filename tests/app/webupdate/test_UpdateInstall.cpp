// Installing a release into the program's folder: stopped at every rename, link and sync as a
// crash would stop it, the next start leaves the folder wholly old or wholly new.
#include "app/update/UpdateInstall.h"

#include "app/core/CoreTestSupport.h"
#include "rtl/Exceptions.h"

#include <QCryptographicHash>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace {

namespace fs = std::filesystem;
using rtl::UnicodeString;
using ven::testing::TTempFolder;

// Not an rtl::Exception: the install cannot catch it, as it cannot catch its own death.
struct TKilled {};

using TFolderState = std::map<std::string, std::string>; // file name below the folder -> bytes

using orvitest::ReadText;
using orvitest::WriteText;

TFolderState StateOf(const fs::path& folder) {
    TFolderState state;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            state[fs::relative(entry.path(), folder).generic_string()] = ReadText(entry.path());
        }
    }
    return state;
}

const TFolderState kOld = {{"venturo_mtd", "old program"}, {"data.txt", "old data"}};
const TFolderState kNew = {
    {"venturo_mtd", "new program"}, {"data.txt", "new data"}, {"lib/extra.txt", "extra"}};

class UpdateInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        _files.clear();
        for (const auto& [name, bytes] : kOld) {
            WriteText(_program / name, bytes);
        }
        fs::permissions(_program / "venturo_mtd", fs::perms::owner_all, fs::perm_options::replace);
        _programPerms = fs::status(_program / "venturo_mtd").permissions(); // no execute bit on Windows
        for (const auto& [name, bytes] : kNew) {
            WriteText(_tmp.Path() / "staged" / name, bytes);
            _files.push_back(
                {rtl::U(name), ven::testing::ToText(_tmp.Path() / "staged" / name),
                 static_cast<std::int64_t>(bytes.size()),
                 rtl::U(QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
                            .toHex()
                            .toStdString())});
        }
    }

    bool KeptPermissions() const {
        return fs::status(_program / "venturo_mtd").permissions() == _programPerms;
    }

    // The steps a whole install announces, in order.
    std::vector<UnicodeString> InstallSteps() {
        std::vector<UnicodeString> steps;
        ven::InstallFiles(_folder, _files, [&](const UnicodeString& step) { steps.push_back(step); });
        return steps;
    }

    // A fresh old program folder, and an install of it that dies at step kill; eachStep runs at every
    // step the install reaches, the fatal one included.
    void InstallKilledAt(std::size_t kill, const std::function<void(const UnicodeString&)>& eachStep = {}) {
        fs::remove_all(_program);
        SetUp();
        std::size_t at = 0;
        EXPECT_THROW(ven::InstallFiles(_folder, _files,
                                       [&](const UnicodeString& step) {
                                           if (eachStep) {
                                               eachStep(step);
                                           }
                                           if (at++ == kill) {
                                               throw TKilled();
                                           }
                                       }),
                     TKilled);
    }

    TTempFolder _tmp;
    fs::path _program = _tmp.Path() / "program";
    UnicodeString _folder = _tmp.Text("program");
    std::vector<ven::TInstallFile> _files;
    fs::perms _programPerms = fs::perms::none;
};

TEST_F(UpdateInstallTest, InstallsEveryFileAndLeavesNothingBehind) {
    std::vector<UnicodeString> steps;
    ven::InstallFiles(_folder, _files, [&](const UnicodeString& step) { steps.push_back(step); });
    EXPECT_EQ(StateOf(_program), kNew);
    EXPECT_TRUE(KeptPermissions()); // the new program took the old one's permissions
    EXPECT_GE(steps.size(), 10u);
    EXPECT_EQ(ven::RecoverInterruptedInstall(_folder), u"");
}

TEST_F(UpdateInstallTest, AnInstallKilledAtAnyStepIsWhollyOldOrWhollyNewAfterTheNextStart) {
    const std::vector<UnicodeString> steps = InstallSteps();
    for (size_t kill = 0; kill < steps.size(); ++kill) {
        SCOPED_TRACE(rtl::StringToUtf8(steps[kill]));
        bool programAlways = true;
        // Some program is there whenever the process might die, on Windows too, where the running
        // program cannot be replaced, only renamed.
        InstallKilledAt(kill, [&](const UnicodeString&) {
            programAlways = programAlways && fs::exists(_program / "venturo_mtd");
        });
        EXPECT_TRUE(programAlways);
        UnicodeString done = ven::RecoverInterruptedInstall(_folder);
        EXPECT_FALSE(done.empty());
        const bool committed = steps[kill] == u"clean up";
        EXPECT_EQ(StateOf(_program), committed ? kNew : kOld) << rtl::StringToUtf8(done);
        EXPECT_TRUE(KeptPermissions());
        EXPECT_FALSE(fs::exists(_program / "lib") && !committed); // the folder made for the new file went
        EXPECT_EQ(ven::RecoverInterruptedInstall(_folder), u"");  // once is enough
        // And the next install goes through.
        ven::InstallFiles(_folder, _files);
        EXPECT_EQ(StateOf(_program), kNew);
    }
}

TEST_F(UpdateInstallTest, ANameOfTheWorkFolderOrAChangedFileInstallsNothing) {
    WriteText(_tmp.Path() / "staged" / "x", "x");
    _files.push_back({u".WebUpdate/journal", _tmp.Text("staged/x"), 1, _files[0].Sha256});
    EXPECT_THROW(ven::InstallFiles(_folder, _files), rtl::Exception);
    EXPECT_EQ(StateOf(_program), kOld);
    _files.pop_back();
    WriteText(_tmp.Path() / "staged" / "data.txt", "new dat!"); // same size, other bytes
    EXPECT_THROW(ven::InstallFiles(_folder, _files), rtl::Exception);
    EXPECT_EQ(StateOf(_program), kOld);
}

TEST_F(UpdateInstallTest, NamesLikeTheInstallsOwnCopiesInstallTheirOwnBytes) {
    // Copies are kept in the work folder, so "x.new" and "x.old" are ordinary names.
    TFolderState expected = kNew;
    for (const std::string name : {"data.txt.new", "data.txt.old", "venturo_mtd.tmp-1-1"}) {
        WriteText(_tmp.Path() / "staged" / name, "bytes of " + name);
        _files.push_back({rtl::U(name), _tmp.Text("staged/" + name),
                          static_cast<std::int64_t>(9 + name.size()),
                          rtl::U(QCryptographicHash::hash(QByteArray::fromStdString("bytes of " + name),
                                                          QCryptographicHash::Sha256)
                                     .toHex()
                                     .toStdString())});
        expected[name] = "bytes of " + name;
    }
    ven::InstallFiles(_folder, _files);
    EXPECT_EQ(StateOf(_program), expected);
}

TEST_F(UpdateInstallTest, AJournalThatCannotBeReadIsLeftAlone) {
    WriteText(_program / ".webupdate" / "journal", "something else\n");
    EXPECT_THROW(ven::RecoverInterruptedInstall(_folder), rtl::Exception);
    EXPECT_THROW(ven::InstallFiles(_folder, _files), rtl::Exception);
    EXPECT_EQ(ReadText(_program / "venturo_mtd"), "old program");
    EXPECT_TRUE(fs::exists(_program / ".webupdate" / "journal"));
}

} // namespace

// A link planted where the work folder goes is never followed: what it points at keeps its files,
// the start-up recovery leaves it and goes on, and an install refuses the name.
TEST_F(UpdateInstallTest, AWorkFolderThatIsALinkIsLeftAndNeverFollowed) {
    const TFolderState precious = {{"a.txt", "keep me"}, {"sub/b.txt", "keep me too"}};
    for (const auto& [name, bytes] : precious) {
        WriteText(_tmp.Path() / "precious" / name, bytes);
    }
    fs::create_directory_symlink(_tmp.Path() / "precious", _program / ".webupdate");
    EXPECT_NE(rtl::StringToUtf8(ven::RecoverInterruptedInstall(_folder)).find("as it is"), std::string::npos);
    EXPECT_THROW(ven::CheckInstallFolder(_folder), rtl::Exception);
    EXPECT_THROW(ven::InstallFiles(_folder, _files), rtl::Exception);
    EXPECT_EQ(StateOf(_tmp.Path() / "precious"), precious);
    EXPECT_TRUE(fs::is_symlink(_program / ".webupdate"));
    EXPECT_EQ(ReadText(_program / "data.txt"), "old data");
}

namespace {

// A journal damaged after the install was cut short: the digests kept beside it still bring every
// crash point back to wholly old or wholly new; without the kept old copy, the user is told how to
// reinstall.
TEST_F(UpdateInstallTest, ADamagedJournalStillEndsWhollyOldOrWhollyNew) {
    const std::vector<UnicodeString> steps = InstallSteps();
    for (size_t kill = 0; kill < steps.size(); ++kill) {
        SCOPED_TRACE(rtl::StringToUtf8(steps[kill]));
        InstallKilledAt(kill);
        if (fs::exists(_program / ".webupdate" / "journal")) {
            WriteText(_program / ".webupdate" / "journal", "state=inst\xff");
        }
        ven::RecoverInterruptedInstall(_folder);
        TFolderState state = StateOf(_program);
        EXPECT_TRUE(state == kOld || state == kNew);
        EXPECT_FALSE(fs::exists(_program / ".webupdate"));
    }

    // The first file replaced, the rest not, and its kept old copy lost as well as the journal.
    fs::remove_all(_program);
    SetUp();
    EXPECT_THROW(ven::InstallFiles(_folder, _files,
                                   [](const UnicodeString& step) {
                                       if (step.starts_with(u"sync ")) {
                                           throw TKilled();
                                       }
                                   }),
                 TKilled);
    WriteText(_program / ".webupdate" / "journal", "");
    ASSERT_TRUE(fs::remove(_program / ".webupdate" / "old" / "data.txt"));
    try {
        ven::RecoverInterruptedInstall(_folder);
        ADD_FAILURE() << "a mixed folder was not reported";
    } catch (const ven::EInstallDamaged& e) {
        std::string message = rtl::StringToUtf8(e.Message());
        EXPECT_NE(message.find("is damaged"), std::string::npos) << message;
        EXPECT_NE(message.find("could not be put back: data.txt"), std::string::npos) << message;
        EXPECT_NE(message.find("Reinstall Venturo MTD"), std::string::npos) << message;
    }
    EXPECT_THROW(ven::InstallFiles(_folder, _files), ven::EInstallDamaged);
}

} // namespace

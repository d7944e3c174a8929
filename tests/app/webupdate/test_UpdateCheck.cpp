// The start-up update check: skip counter, beta channel and the questions put to the component.
#include "app/update/UpdateCheck.h"

#include "app/webupdate/UpdateTestPlatform.h"
#include "rtl/Registry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using rtl::UnicodeString;
using ven::testing::TRegistryScope;
using ven::testing::WriteProductSettings;

// Records what the check asks; answers "newer" for the URLs it is told to.
class TRecordingUpdate : public ven::IWebUpdate {
public:
    UnicodeString Url = u"https://updates.example/update_v03.inf";
    std::vector<UnicodeString> Asked;
    std::vector<UnicodeString> Updated;
    std::vector<UnicodeString> NewerAt;

    UnicodeString ManifestUrl() const override { return Url; }
    void SetManifestUrl(const UnicodeString& url) override { Url = url; }
    bool NewVersionAvailable(bool) override {
        Asked.push_back(Url);
        for (const UnicodeString& u : NewerAt) {
            if (u == Url) {
                return true;
            }
        }
        return false;
    }
    bool DoUpdate(bool) override {
        Updated.push_back(Url);
        return UpdateSucceeds;
    }
    bool LastCallFailed() const override { return Failed; }
    UnicodeString UntoldError() const override { return Untold; }
    bool UpdateSucceeds = true;
    bool Failed = false;
    UnicodeString Untold;
};

class UpdateCheckTest : public ::testing::Test {
protected:
    int SkipValue() {
        rtl::TRegistry reg(true);
        reg.RootKey = rtl::TRootKey::CurrentUser;
        EXPECT_TRUE(reg.OpenKeyReadOnly(ven::kProductRegistryKey));
        return reg.ReadInteger(u"Skip upgrade check");
    }

    TRegistryScope _registry;
    TRecordingUpdate _update;
};

TEST_F(UpdateCheckTest, WithoutSettingsThePlainManifestIsAsked) {
    EXPECT_TRUE(ven::RunStartupUpdateCheck(_update));
    ASSERT_EQ(_update.Asked.size(), 1u);
    EXPECT_EQ(_update.Asked[0], u"https://updates.example/update_v03.inf");
    EXPECT_TRUE(_update.Updated.empty());
}

TEST_F(UpdateCheckTest, SkipCounterCountsDownAndSkips) {
    struct {
        int Stored;
        bool Checks;
        int After;
    } cases[] = {{1, false, 0}, {4, false, 3}, {9, false, 3}, {0, true, 0}, {-2, true, -2}};
    for (const auto& c : cases) {
        WriteProductSettings({{u"Skip upgrade check", rtl::IntToStr(c.Stored)}});
        _update.Asked.clear();
        EXPECT_EQ(ven::RunStartupUpdateCheck(_update), c.Checks) << c.Stored;
        EXPECT_EQ(_update.Asked.empty(), !c.Checks) << c.Stored;
        EXPECT_EQ(SkipValue(), c.After) << c.Stored;
    }
}

TEST_F(UpdateCheckTest, SkipOfOneChecksAgainOnTheNextStart) {
    WriteProductSettings({{u"Skip upgrade check", u"1"}});
    EXPECT_FALSE(ven::RunStartupUpdateCheck(_update));
    EXPECT_TRUE(ven::RunStartupUpdateCheck(_update));
    EXPECT_EQ(_update.Asked.size(), 1u);
}

TEST_F(UpdateCheckTest, EmptyBetaTextIsThePlainChannel) {
    WriteProductSettings({{u"Beta Programme", u""}});
    ven::RunStartupUpdateCheck(_update);
    ASSERT_EQ(_update.Asked.size(), 1u);
    EXPECT_EQ(_update.Asked[0], u"https://updates.example/update_v03.inf");
}

TEST_F(UpdateCheckTest, BetaWithoutUpdateFallsBackToThePlainManifest) {
    WriteProductSettings({{u"Beta Programme", u"preview"}});
    ven::RunStartupUpdateCheck(_update);
    ASSERT_EQ(_update.Asked.size(), 2u);
    EXPECT_EQ(_update.Asked[0], u"https://updates.example/update_v03.inf.preview");
    EXPECT_EQ(_update.Asked[1], u"https://updates.example/update_v03.inf");
    EXPECT_EQ(_update.Url, u"https://updates.example/update_v03.inf");
}

TEST_F(UpdateCheckTest, BetaUpdateIsInstalledFromTheBetaManifest) {
    WriteProductSettings({{u"Beta Programme", u"preview"}});
    _update.NewerAt = {u"https://updates.example/update_v03.inf.preview"};
    ven::RunStartupUpdateCheck(_update);
    ASSERT_EQ(_update.Updated.size(), 1u);
    EXPECT_EQ(_update.Updated[0], u"https://updates.example/update_v03.inf.preview");
    EXPECT_EQ(_update.Asked.size(), 1u);
}

TEST_F(UpdateCheckTest, PlainUpdateFoundAfterTheBetaChannelIsInstalled) {
    WriteProductSettings({{u"Beta Programme", u"preview"}});
    _update.NewerAt = {u"https://updates.example/update_v03.inf"};
    ven::RunStartupUpdateCheck(_update);
    ASSERT_EQ(_update.Updated.size(), 1u);
    EXPECT_EQ(_update.Updated[0], u"https://updates.example/update_v03.inf");
}

TEST_F(UpdateCheckTest, AUserAskedCheckIsMadeThroughTheRestAndTheSkipCounter) {
    // A start within a day of a failed update, with starts to skip: the start-up check rests...
    WriteProductSettings({{u"Skip upgrade check", u"3"}, {u"Beta Programme", u"preview"}});
    ASSERT_TRUE(ven::RecordUpdateFailure(u"earlier", rtl::Now() - 0.5));
    EXPECT_FALSE(ven::RunStartupUpdateCheck(_update));
    EXPECT_TRUE(_update.Asked.empty());
    EXPECT_EQ(SkipValue(), 2);
    ven::TUpdateRecord resting = ven::ReadUpdateRecord();
    EXPECT_GT(resting.LastFailure, 0);

    // ...the user's own check asks both channels at once and leaves the skip value alone.
    EXPECT_EQ(ven::RunUserUpdateCheck(_update), ven::TUserCheckResult::UpToDate);
    EXPECT_EQ(_update.Asked, (std::vector<UnicodeString>{u"https://updates.example/update_v03.inf.preview",
                                                         u"https://updates.example/update_v03.inf"}));
    EXPECT_EQ(SkipValue(), 2);
    EXPECT_EQ(ven::ReadUpdateRecord().LastFailure, resting.LastFailure);
}

TEST_F(UpdateCheckTest, AUserAskedCheckSaysWhatItCameTo) {
    _update.Failed = true; // a manifest that was not believed: the user was told already
    EXPECT_EQ(ven::RunUserUpdateCheck(_update), ven::TUserCheckResult::CheckFailed);
    _update.Untold = u"http://127.0.0.1:1/update_v03.inf: Connection refused";
    EXPECT_EQ(ven::RunUserUpdateCheck(_update), ven::TUserCheckResult::CheckFailed);
    _update.NewerAt = {_update.Url};
    EXPECT_EQ(ven::RunUserUpdateCheck(_update), ven::TUserCheckResult::Updated);
    _update.UpdateSucceeds = false;
    EXPECT_EQ(ven::RunUserUpdateCheck(_update), ven::TUserCheckResult::NotUpdated);
    EXPECT_EQ(_update.Updated.size(), 2u);
}

TEST_F(UpdateCheckTest, AUserAskedCheckAfterABetaUpdateAsksTheChannelsAfresh) {
    // A beta update that failed at start-up left the beta address on the component.
    WriteProductSettings({{u"Beta Programme", u"preview"}});
    _update.NewerAt = {u"https://updates.example/update_v03.inf.preview"};
    _update.UpdateSucceeds = false;
    ven::RunStartupUpdateCheck(_update);
    EXPECT_EQ(_update.Url, u"https://updates.example/update_v03.inf.preview");
    _update.NewerAt.clear();
    _update.Asked.clear();
    EXPECT_EQ(ven::RunUserUpdateCheck(_update), ven::TUserCheckResult::UpToDate);
    EXPECT_EQ(_update.Asked, (std::vector<UnicodeString>{u"https://updates.example/update_v03.inf.preview",
                                                         u"https://updates.example/update_v03.inf"}));
}

} // namespace

namespace {

// A check whose manifest never came rests the next starts like a failed update; checks failing for
// more than thirty days since the last good one are told to the user; a good check ends that.
TEST_F(UpdateCheckTest, FailedChecksRestTheNextStartsAndAreToldWhenTheyLast) {
    _update.Untold = u"https://updates.example/update_v03.inf: no complete answer within 30000 ms";
    _update.Failed = true;
    ven::TStartupCheckResult result = ven::FinishStartupCheck(_update, ven::FindNewVersion(_update, u""));
    EXPECT_EQ(result.Outcome, ven::TUserCheckResult::CheckFailed);
    EXPECT_EQ(result.StaleWarning, u""); // failing since just now
    ven::TUpdateRecord record = ven::ReadUpdateRecord();
    EXPECT_EQ(record.LastFailureReason, _update.Untold);
    EXPECT_FALSE(ven::RunStartupUpdateCheck(_update));

    // A good check 40 days ago, failures since: the user hears of it, with the last reason.
    ASSERT_TRUE(ven::RecordCheckOutcome(true, rtl::Now() - 40));
    ASSERT_TRUE(ven::RecordCheckOutcome(false, rtl::Now() - 35));
    ASSERT_TRUE(ven::RecordUpdateFailure(u"earlier", rtl::Now() - 2));
    result = ven::FinishStartupCheck(_update, ven::FindNewVersion(_update, u""));
    std::string warning = rtl::StringToUtf8(result.StaleWarning);
    EXPECT_NE(warning.find("has not been able to check for updates since"), std::string::npos) << warning;
    EXPECT_NE(warning.find("no complete answer"), std::string::npos) << warning;
    EXPECT_NEAR(ven::ReadUpdateRecord().FailingSince, rtl::Now() - 35,
                10.0 / 86400); // the first failure kept

    _update.Untold.clear();
    _update.Failed = false;
    result = ven::FinishStartupCheck(_update, ven::FindNewVersion(_update, u""));
    EXPECT_EQ(result.Outcome, ven::TUserCheckResult::UpToDate);
    record = ven::ReadUpdateRecord();
    EXPECT_NEAR(record.LastGoodCheck, rtl::Now(), 10.0 / 86400);
    EXPECT_EQ(record.FailingSince, 0);
    EXPECT_EQ(ven::StaleCheckWarning(record, rtl::Now() + 31, u"x"), u""); // no failure since
}

} // namespace

// The start-up update check: skip counter, beta channel and the questions put to the component.
#include "app/update/UpdateCheck.h"

#include "app/core/CoreTestSupport.h"
#include "rtl/Registry.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using rtl::UnicodeString;
using ven::testing::TRegistryScope;

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
    void SetSettings(const std::string& values) {
        _registry.WriteRootFile("HKEY_CURRENT_USER", "[SOFTWARE\\Corvane\\Venturo MTD]\r\n" + values);
    }
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
        SetSettings("Skip upgrade check=" + std::to_string(c.Stored) + "\r\n");
        _update.Asked.clear();
        EXPECT_EQ(ven::RunStartupUpdateCheck(_update), c.Checks) << c.Stored;
        EXPECT_EQ(_update.Asked.empty(), !c.Checks) << c.Stored;
        EXPECT_EQ(SkipValue(), c.After) << c.Stored;
    }
}

TEST_F(UpdateCheckTest, SkipOfOneChecksAgainOnTheNextStart) {
    SetSettings("Skip upgrade check=1\r\n");
    EXPECT_FALSE(ven::RunStartupUpdateCheck(_update));
    EXPECT_TRUE(ven::RunStartupUpdateCheck(_update));
    EXPECT_EQ(_update.Asked.size(), 1u);
}

TEST_F(UpdateCheckTest, EmptyBetaTextIsThePlainChannel) {
    SetSettings("Beta Programme=\r\n");
    ven::RunStartupUpdateCheck(_update);
    ASSERT_EQ(_update.Asked.size(), 1u);
    EXPECT_EQ(_update.Asked[0], u"https://updates.example/update_v03.inf");
}

TEST_F(UpdateCheckTest, BetaWithoutUpdateFallsBackToThePlainManifest) {
    SetSettings("Beta Programme=preview\r\n");
    ven::RunStartupUpdateCheck(_update);
    ASSERT_EQ(_update.Asked.size(), 2u);
    EXPECT_EQ(_update.Asked[0], u"https://updates.example/update_v03.inf.preview");
    EXPECT_EQ(_update.Asked[1], u"https://updates.example/update_v03.inf");
    EXPECT_EQ(_update.Url, u"https://updates.example/update_v03.inf");
}

TEST_F(UpdateCheckTest, BetaUpdateIsInstalledFromTheBetaManifest) {
    SetSettings("Beta Programme=preview\r\n");
    _update.NewerAt = {u"https://updates.example/update_v03.inf.preview"};
    ven::RunStartupUpdateCheck(_update);
    ASSERT_EQ(_update.Updated.size(), 1u);
    EXPECT_EQ(_update.Updated[0], u"https://updates.example/update_v03.inf.preview");
    EXPECT_EQ(_update.Asked.size(), 1u);
}

TEST_F(UpdateCheckTest, PlainUpdateFoundAfterTheBetaChannelIsInstalled) {
    SetSettings("Beta Programme=preview\r\n");
    _update.NewerAt = {u"https://updates.example/update_v03.inf"};
    ven::RunStartupUpdateCheck(_update);
    ASSERT_EQ(_update.Updated.size(), 1u);
    EXPECT_EQ(_update.Updated[0], u"https://updates.example/update_v03.inf");
}

TEST_F(UpdateCheckTest, AUserAskedCheckIsMadeThroughTheRestAndTheSkipCounter) {
    // A start within a day of a failed update, with starts to skip: the start-up check rests...
    SetSettings("Skip upgrade check=3\r\nBeta Programme=preview\r\n");
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
    SetSettings("Beta Programme=preview\r\n");
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

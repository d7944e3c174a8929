#include "utils/text/ORVI.LookupUserText.h"

#include <gtest/gtest.h>

#include <map>

using namespace orvi;
using rtl::UnicodeString;

namespace {

/// Answers from a fixed table and records every key it is asked for.
class TableProvider : public rtl::TObject, public IORVIStringProvider {
public:
    explicit TableProvider(std::map<UnicodeString, UnicodeString> table) : _table(std::move(table)) {}
    rtl::TObject* GetImplementor() override { return this; }
    bool GetUserTextString(const UnicodeString& szInput, UnicodeString& szOutput) override {
        asked.push_back(szInput);
        const auto found = _table.find(szInput);
        if (found == _table.end())
            return false;
        szOutput = found->second;
        return true;
    }
    std::vector<UnicodeString> asked;

private:
    std::map<UnicodeString, UnicodeString> _table;
};

class NotAProvider : public rtl::TObject {};

class Named : public ::testing::Test {
protected:
    Named() {
        providers.AddObject(u"Customer", &customer);
        providers.AddObject(u"", &fallback);
        providers.AddObject(u"Empty", nullptr);
    }
    bool Lookup(const UnicodeString& path) {
        value = u"untouched";
        return ORVILookupUserText(path, value, &providers);
    }
    TableProvider customer{{{u"Name", u"Acme Ltd"}, {u"Town", u"Leeds"}}};
    TableProvider fallback{{{u"Title", u"Director"}}};
    rtl::TStringList providers;
    UnicodeString value;
};

TEST_F(Named, EveryKeyFormReachesTheNamedProvider) {
    for (const char16_t* path : {u"Customer.Name", u"Customer[Name]", u"Customer(Name)", u"Customer.\"Name\"",
                                 u"Customer.'Name'", u"Customer . Name", u"customer.Name"}) {
        EXPECT_TRUE(Lookup(path)) << rtl::StringToUtf8(path);
        EXPECT_EQ(value, u"Acme Ltd");
    }
    EXPECT_TRUE(Lookup(u"Customer[Town][Name]")); // only the first key counts
    EXPECT_EQ(value, u"Leeds");
}

TEST_F(Named, ALoneKeyGoesToTheDefaultProviderAndALoneNameAnswersNothing) {
    EXPECT_TRUE(Lookup(u"Title"));
    EXPECT_EQ(value, u"Director");
    EXPECT_FALSE(Lookup(u"Customer"));
    EXPECT_FALSE(Lookup(u"Nobody.Name")); // an unknown name with a key is no default look-up
    EXPECT_FALSE(Lookup(u"Empty.Name"));
    EXPECT_FALSE(Lookup(u"Customer.Missing"));
    EXPECT_FALSE(Lookup(u"(Customer).Name"));
    EXPECT_FALSE(Lookup(u""));
    EXPECT_EQ(fallback.asked, std::vector<UnicodeString>{u"Title"});
    EXPECT_FALSE(ORVILookupUserText(u"Title", value, static_cast<const rtl::TStringList*>(nullptr)));
}

TEST(UnnamedProviders, TheFirstProviderThatAnswersWins) {
    NotAProvider other;
    TableProvider a{{{u"x", u"from a"}}};
    TableProvider b{{{u"x", u"from b"}, {u"y", u"only b"}}};
    const std::vector<rtl::TObject*> list{&other, nullptr, &a, &b};
    UnicodeString value = u"old";
    EXPECT_TRUE(ORVILookupUserText(u"x", value, list));
    EXPECT_EQ(value, u"from a");
    EXPECT_TRUE(ORVILookupUserText(u"y", value, list));
    EXPECT_EQ(value, u"only b");
    EXPECT_FALSE(ORVILookupUserText(u"z", value, list));
    std::vector<std::unique_ptr<rtl::TObject>> owned;
    owned.push_back(std::make_unique<TableProvider>(std::map<UnicodeString, UnicodeString>{{u"k", u"v"}}));
    EXPECT_TRUE(ORVILookupUserText(u"k", value, owned));
    EXPECT_EQ(value, u"v");
}

TEST(UnnamedProviders, ThePathMayBeTheValueItself) {
    TableProvider a{{{u"x", u"from a"}}};
    TableProvider b{{{u"y", u"from b"}}};
    UnicodeString s = u"y";
    EXPECT_TRUE(ORVILookupUserText(s, s, std::vector<rtl::TObject*>{&a, &b}));
    EXPECT_EQ(s, u"from b");
    EXPECT_EQ(a.asked, std::vector<UnicodeString>{u"y"});
}

TEST_F(Named, PlaceholdersAreFilledAndUnresolvedOnesRemoved) {
    UnicodeString result = u"unchanged";
    EXPECT_TRUE(ORVILookupEmbeddedUserText(u"{{", u"}}", u"Dear {{Customer.Name}}, {{Missing}}", result, &providers));
    EXPECT_EQ(result, u"Dear Acme Ltd, ");
    result = u"unchanged";
    EXPECT_FALSE(ORVILookupEmbeddedUserText(u"{{", u"}}", u"Hello {{Missing}}", result, &providers));
    EXPECT_EQ(result, u"unchanged");
    EXPECT_TRUE(ORVILookupEmbeddedUserText(u"{{", u"}}", u"{{{Customer.Town}}}\n{{Title}}", result, &providers));
    EXPECT_EQ(result, u"{Leeds}\nDirector");
    EXPECT_FALSE(ORVILookupEmbeddedUserText(u"", u"}}", u"{{Title}}", result, &providers));
}

TEST(Placeholders, ValuesAreExpandedAgainButNotForever) {
    TableProvider p{{{u"a", u"<b> and <b>"}, {u"b", u"B"}, {u"loop", u"[<loop>]"}}};
    const std::vector<rtl::TObject*> list{&p};
    UnicodeString result;
    EXPECT_TRUE(ORVILookupEmbeddedUserText(u"<", u">", u"<a>!", result, list));
    EXPECT_EQ(result, u"B and B!");
    result = u"kept";
    EXPECT_FALSE(ORVILookupEmbeddedUserText(u"<", u">", u"<loop>", result, list));
    EXPECT_EQ(result, u"kept");
}

} // namespace

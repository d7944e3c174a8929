#include "rtl/Exceptions.h"
#include "rtl/Stream.h"
#include "rtl/StringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

using namespace rtl;

namespace {

std::vector<UnicodeString> Entries(const TStringList& sl) {
    std::vector<UnicodeString> out;
    for (int i = 0; i < sl.Count(); ++i)
        out.push_back(sl.Strings(i));
    return out;
}

int g_nFreed = 0;

class TCounted : public TObject {
public:
    void BeforeDestruction() override { ++g_nFreed; }
};

class TListener : public TObject {
public:
    void Changing(TObject*) { log += u'<'; }
    void Changed(TObject*) { log += u'>'; }
    UnicodeString log;
};

TStringList* LoadBytes(const std::string& bytes) {
    auto* sl = new TStringList;
    TMemoryStream stream(TBytes(bytes.begin(), bytes.end()));
    sl->LoadFromStream(stream);
    return sl;
}

} // namespace

TEST(StringList, SortedInsertsFoldOnlyAsciiCase) {
    TStringList sl;
    sl.SetSorted(true);
    for (const char16_t* s : {u"beta", u"Alpha", u"_x", u"alpha2", u"Zed"})
        sl.Add(s);
    // Upper-case folding puts '_' after the letters.
    EXPECT_EQ(Entries(sl), (std::vector<UnicodeString>{u"Alpha", u"alpha2", u"beta", u"Zed", u"_x"}));
    int index = -1;
    EXPECT_TRUE(sl.Find(u"ALPHA", index));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(sl.Find(u"c", index));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(sl.IndexOf(u"zed"), 3);
    EXPECT_THROW(sl.Insert(0, u"x"), EListError);
}

TEST(StringList, CaseSensitiveChangesOrderAndLookup) {
    TStringList sl;
    sl.Add(u"b");
    sl.Add(u"B");
    sl.Add(u"a");
    EXPECT_EQ(sl.IndexOf(u"B"), 0);
    sl.SetCaseSensitive(true);
    EXPECT_EQ(sl.IndexOf(u"B"), 1);
    sl.SetSorted(true);
    EXPECT_EQ(Entries(sl), (std::vector<UnicodeString>{u"B", u"a", u"b"}));
    sl.SetCaseSensitive(false); // re-sorts: stable, so "B" stays before "b"
    EXPECT_EQ(Entries(sl), (std::vector<UnicodeString>{u"a", u"B", u"b"}));
}

TEST(StringList, DuplicatesIgnoreAcceptError) {
    TStringList sl;
    sl.SetSorted(true);
    EXPECT_EQ(sl.Add(u"k"), 0);
    EXPECT_EQ(sl.Add(u"K"), 0); // ignored
    EXPECT_EQ(sl.Count(), 1);
    sl.SetDuplicates(TDuplicates::dupAccept);
    TCounted* second = new TCounted;
    EXPECT_EQ(sl.AddObject(u"K", second), 1); // after the existing equal entry
    EXPECT_EQ(sl.Objects(1), second);
    sl.SetDuplicates(TDuplicates::dupError);
    EXPECT_THROW(sl.Add(u"k"), EListError);
    EXPECT_EQ(sl.Count(), 2);
    delete second;
}

TEST(StringList, IndexErrorsCarryTheIndex) {
    TStringList sl;
    sl.Add(u"only");
    try {
        (void)sl.Strings(5);
        FAIL();
    } catch (const EListError& e) {
        EXPECT_EQ(e.Index(), 5);
        EXPECT_EQ(e.Message(), u"List index out of bounds (5)");
    }
    EXPECT_THROW(sl.Objects(-1), EListError);
    EXPECT_THROW(sl.Delete(1), EListError);
    EXPECT_THROW(sl.SetObjects(1, nullptr), EListError);
    EXPECT_THROW(sl.InsertObject(2, u"x", nullptr), EListError);
    sl.Insert(1, u"end"); // at Count is allowed
    EXPECT_EQ(sl.Strings(1), u"end");
}

TEST(StringList, OwnedObjectsAreFreedOnDeleteClearAndDestruction) {
    g_nFreed = 0;
    {
        TStringList sl(true);
        for (int i = 0; i < 5; ++i)
            sl.AddObject(IntToStr(i), Create<TCounted>());
        sl.Delete(0);
        EXPECT_EQ(g_nFreed, 1);
        TObject* kept = sl.Extract(0);
        EXPECT_EQ(g_nFreed, 1);
        Free(kept);
        EXPECT_EQ(g_nFreed, 2);
        TObject* replaced = sl.Objects(0);
        sl.SetObjects(0, nullptr); // replacing does not free
        EXPECT_EQ(g_nFreed, 2);
        Free(replaced);
        sl.Clear();
        EXPECT_EQ(g_nFreed, 5);
        sl.AddObject(u"last", Create<TCounted>());
    }
    EXPECT_EQ(g_nFreed, 6);
    {
        TStringList notOwning;
        TCounted c;
        notOwning.AddObject(u"c", &c);
        notOwning.Clear();
    }
    EXPECT_EQ(g_nFreed, 6);
}

TEST(StringList, CustomSortSeesOriginalIndexes) {
    TStringList sl;
    for (const char16_t* s : {u"ccc", u"a", u"bb", u"dddd"})
        sl.Add(s);
    sl.CustomSort([](TStringList* l, int i, int j) {
        return static_cast<int>(l->Strings(j).size()) - static_cast<int>(l->Strings(i).size());
    });
    EXPECT_EQ(Entries(sl), (std::vector<UnicodeString>{u"dddd", u"ccc", u"bb", u"a"}));
}

TEST(StringList, SortsALargeListInNLogNComparisons) {
    // Counting comparisons keeps the check independent of build type and sanitizers.
    class TCounting : public TStringList {
    public:
        int CompareStrings(const UnicodeString& a, const UnicodeString& b) const override {
            ++comparisons;
            return TStringList::CompareStrings(a, b);
        }
        mutable std::int64_t comparisons = 0;
    };
    TCounting sl;
    const int n = 200000;
    for (int i = 0; i < n; ++i)
        sl.Add(u"item" + IntToStr((static_cast<std::int64_t>(i) * 7919) % n));
    sl.SetSorted(true);
    EXPECT_LT(sl.comparisons, 2LL * n * 18); // log2(200000) < 18
    for (int i = 1; i < sl.Count(); ++i)
        ASSERT_LE(CompareText(sl.Strings(i - 1), sl.Strings(i)), 0);
    EXPECT_GE(sl.IndexOf(u"ITEM123"), 0);
}

TEST(StringList, ChangeSignalsAreHeldBackDuringUpdates) {
    TListener listener;
    TStringList sl;
    sl.OnChanging = TNotifyEvent(&listener, &TListener::Changing);
    sl.OnChange = TNotifyEvent(&listener, &TListener::Changed);
    sl.Add(u"a");
    EXPECT_EQ(listener.log, u"<>");
    listener.log.clear();
    sl.BeginUpdate();
    sl.Add(u"b");
    sl.BeginUpdate();
    sl.Delete(0);
    sl.EndUpdate();
    EXPECT_EQ(listener.log, u"<");
    sl.EndUpdate();
    EXPECT_EQ(listener.log, u"<>");
}

TEST(StringList, DescendantsSeeInsertionsThroughInsertItem) {
    class TUpper : public TStringList {
    protected:
        void InsertItem(int index, const UnicodeString& s, TObject* obj) override {
            TStringList::InsertItem(index, UpperCase(s), obj);
        }
    };
    TUpper sl;
    sl.Add(u"x");
    sl.Insert(0, u"y");
    sl.SetText(u"p\nq");
    EXPECT_EQ(Entries(sl), (std::vector<UnicodeString>{u"P", u"Q"}));
}

TEST(StringListLoad, LineBreaksOfEveryKind) {
    std::unique_ptr<TStringList> sl(LoadBytes("a\r\nb\nc\rd\r\n\r\ne\n"));
    EXPECT_EQ(Entries(*sl), (std::vector<UnicodeString>{u"a", u"b", u"c", u"d", u"", u"e"}));
    sl.reset(LoadBytes("\n"));
    EXPECT_EQ(Entries(*sl), (std::vector<UnicodeString>{u""}));
    sl.reset(LoadBytes(""));
    EXPECT_EQ(sl->Count(), 0);
    sl.reset(LoadBytes("no break"));
    EXPECT_EQ(Entries(*sl), (std::vector<UnicodeString>{u"no break"}));
}

TEST(StringListLoad, EncodingsByBomAndContent) {
    std::unique_ptr<TStringList> sl(LoadBytes("\xEF\xBB\xBF\xC2\xA3"
                                              "1\r\n"));
    EXPECT_EQ(Entries(*sl), (std::vector<UnicodeString>{u"£1"}));
    sl.reset(LoadBytes(std::string("\xFF\xFEx\x00\n\x00y\x00", 8)));
    EXPECT_EQ(Entries(*sl), (std::vector<UnicodeString>{u"x", u"y"}));
    sl.reset(LoadBytes("C:\\Sage\\\x80\xE9\r\nok"));
    EXPECT_EQ(Entries(*sl), (std::vector<UnicodeString>{u"C:\\Sage\\€é", u"ok"}));
}

TEST(StringListLoad, FromFileAndMissingFile) {
    const std::string path = ::testing::TempDir() + "rtl_stringlist_load.txt";
    {
        std::ofstream f(path, std::ios::binary);
        f << "one\r\ntwo\r\n";
    }
    TStringList sl;
    sl.LoadFromFile(Utf8ToString(path));
    EXPECT_EQ(Entries(sl), (std::vector<UnicodeString>{u"one", u"two"}));
    std::remove(path.c_str());
    EXPECT_THROW(sl.LoadFromFile(Utf8ToString(path)), EFOpenError);
}

TEST(StringList, TextJoinsWithLineBreaks) {
    TStringList sl;
    sl.SetText(u"a\r\nb");
#ifdef _WIN32
    EXPECT_EQ(sl.Text(), u"a\r\nb\r\n");
#else
    EXPECT_EQ(sl.Text(), u"a\nb\n");
#endif
}

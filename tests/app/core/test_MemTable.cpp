// The in-memory table behind the grids: rows, current row, calculated fields and notifications.
#include "app/core/MemTable.h"

#include "rtl/Exceptions.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using rtl::UnicodeString;
using ven::TFieldType;
using ven::TFieldValue;
using ven::TMemTable;

TMemTable MakeTable() {
    return TMemTable({{u"Name", TFieldType::ftString, 20, true, u"Name"},
                      {u"Count", TFieldType::ftInteger, 0, false, u"Count"},
                      {u"Calc", TFieldType::ftString, 20, false, u"Calc", true}});
}

struct TRecorder : ven::ITableObserver {
    int Resets = 0;
    std::vector<int> Changed;
    std::vector<int> Current;
    void TableReset() override { ++Resets; }
    void RowChanged(int row) override { Changed.push_back(row); }
    void CurrentChanged(int row) override { Current.push_back(row); }
};

void AppendRow(TMemTable& t, const UnicodeString& name, int count) {
    t.Append();
    t.SetField(u"Name", name);
    t.SetField(u"count", count); // field names fold case
    t.Post();
}

TEST(MemTable, RowsKeepAppendOrderAndPostedRowBecomesCurrent) {
    TMemTable t = MakeTable();
    EXPECT_FALSE(t.Active());
    EXPECT_EQ(t.RecNo(), -1);
    AppendRow(t, u"b", 2);
    AppendRow(t, u"a", 1);
    EXPECT_TRUE(t.Active());
    ASSERT_EQ(t.RecordCount(), 2);
    EXPECT_EQ(t.AsString(0, u"Name"), u"b");
    EXPECT_EQ(t.AsString(1, u"Count"), u"1");
    EXPECT_EQ(t.RecNo(), 1);
}

TEST(MemTable, EditReplacesOneRowAndCalculatedFieldIsNotStored) {
    TMemTable t = MakeTable();
    AppendRow(t, u"a", 1);
    t.Edit(0);
    t.SetField(u"Name", UnicodeString(u"z"));
    t.SetField(u"Calc", UnicodeString(u"only while editing"));
    t.Post();
    EXPECT_EQ(t.RecordCount(), 1);
    EXPECT_EQ(t.AsString(0, u"Name"), u"z");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(t.Value(0, u"Calc")));
}

TEST(MemTable, LocateFoldsCaseOnlyWhenAsked) {
    TMemTable t = MakeTable();
    AppendRow(t, u"Acme", 1);
    AppendRow(t, u"ACME", 2);
    EXPECT_EQ(t.Locate(u"Name", u"acme", true), 0);
    EXPECT_EQ(t.Locate(u"Name", u"ACME", false), 1);
    EXPECT_EQ(t.Locate(u"Name", u"acme", false), -1);
    EXPECT_EQ(t.Locate(u"NoSuchField", u"Acme", true), -1);
}

TEST(MemTable, MisuseRaisesAndOutOfRangeReadsAreNull) {
    TMemTable t = MakeTable();
    EXPECT_THROW(t.SetField(u"Name", UnicodeString(u"x")), rtl::Exception);
    t.Append();
    EXPECT_THROW(t.SetField(u"Missing", 1), rtl::Exception);
    t.Cancel();
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_THROW(t.Edit(0), rtl::EListError);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(t.Value(5, 0)));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(t.Value(0, 9)));
}

TEST(MemTable, ObserversHearChangesAndHeldUpdatesGiveOneReset) {
    TMemTable t = MakeTable();
    TRecorder rec;
    t.AddObserver(&rec);
    AppendRow(t, u"a", 1);
    EXPECT_EQ(rec.Resets, 1);
    t.Edit(0);
    t.Post();
    EXPECT_EQ(rec.Changed, std::vector<int>{0});

    rec.Resets = 0;
    t.BeginUpdate();
    AppendRow(t, u"b", 2);
    AppendRow(t, u"c", 3);
    EXPECT_EQ(rec.Resets, 0);
    t.EndUpdate();
    EXPECT_EQ(rec.Resets, 1);

    t.SetRecNo(0);
    t.SetRecNo(99); // clamped to the last row
    EXPECT_EQ(t.RecNo(), 2);
    t.RemoveObserver(&rec);
    AppendRow(t, u"d", 4);
    EXPECT_EQ(rec.Resets, 1);
}

TEST(MemTable, CloseDiscardsRows) {
    TMemTable t = MakeTable();
    AppendRow(t, u"a", 1);
    t.Close();
    EXPECT_FALSE(t.Active());
    EXPECT_EQ(t.RecordCount(), 0);
    EXPECT_EQ(t.RecNo(), -1);
}

TEST(MemTable, RowsAppendedOnAnotherThreadAreReadSafely) {
    TMemTable t = MakeTable();
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            AppendRow(t, u"row", i);
        }
    });
    int seen = 0;
    while (seen < 2000) {
        seen = t.RecordCount();
        if (seen > 0) {
            EXPECT_FALSE(t.AsString(seen - 1, u"Name").empty());
        }
    }
    writer.join();
    EXPECT_EQ(t.AsString(1999, u"Count"), u"1999");
}

} // namespace

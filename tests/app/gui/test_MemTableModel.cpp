// The thin model over an in-memory table: columns, display texts, and changes made on another
// thread reaching the view through the event loop.
#include "app/gui/MemTableModel.h"

#include "app/gui/GuiTestSupport.h"
#include "rtl/DateTime.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace ven;

TMemTable MakeTable() {
    return TMemTable({{u"Name", TFieldType::ftString, 60, true, u"Name"},
                      {u"Count", TFieldType::ftInteger, 0, true, u"Count"},
                      {u"Day", TFieldType::ftDate, 0, false, u"Day"},
                      {u"Amount", TFieldType::ftCurrency, 0, false, u"Amount"}});
}

std::vector<TGridColumn> Columns() {
    return {{u"Amount", "Amount", 80, Qt::AlignRight},
            {u"Name", "Name", 100, Qt::AlignLeft},
            {u"Day", "Day", 80, Qt::AlignHCenter},
            {u"Count", "Count", 40, Qt::AlignHCenter}};
}

void AppendRow(TMemTable& table, const rtl::UnicodeString& name, int count) {
    table.Append();
    table.SetField(u"Name", name);
    table.SetField(u"Count", count);
    table.SetField(u"Day", rtl::EncodeDate(2024, 3, 31));
    table.SetField(u"Amount", rtl::Currency::FromRaw(-15000));
    table.Post();
}

TEST(MemTableModelTest, ShowsChosenFieldsInColumnOrder) {
    ven::testing::GuiApp();
    TMemTable table = MakeTable();
    AppendRow(table, u"Alpha & Co", 3);
    table.Append();
    table.SetField(u"Name", rtl::UnicodeString(u"Nulls"));
    table.Post();
    TMemTableModel model(table, Columns());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);

    ASSERT_EQ(model.rowCount(), 2);
    ASSERT_EQ(model.columnCount(), 4);
    EXPECT_EQ(model.headerData(2, Qt::Horizontal).toString(), "Day");
    EXPECT_EQ(model.index(0, 0).data().toString(), "-1.50");
    EXPECT_EQ(model.index(0, 1).data().toString(), "Alpha & Co");
    EXPECT_EQ(model.index(0, 2).data().toString(), "31/03/2024");
    EXPECT_EQ(model.index(0, 3).data().toString(), "3");
    EXPECT_EQ(model.index(1, 0).data().toString(), "");
    EXPECT_EQ(model.index(0, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
              Qt::AlignRight | Qt::AlignVCenter);
    EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
}

TEST(MemTableModelTest, EditedRowIsReportedAndReset) {
    ven::testing::GuiApp();
    TMemTable table = MakeTable();
    AppendRow(table, u"Alpha", 1);
    TMemTableModel model(table, Columns());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    table.Edit(0);
    table.SetField(u"Name", rtl::UnicodeString(u"Renamed"));
    table.Post();
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(model.index(0, 1).data().toString(), "Renamed");

    table.EmptyDataSet();
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(MemTableModelTest, RowsAddedOnAnotherThreadArriveThroughTheEventLoop) {
    ven::testing::GuiApp();
    TMemTable table = MakeTable();
    table.Open();
    TMemTableModel model(table, Columns());
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    std::thread loader([&table] {
        for (int i = 0; i < 200; ++i) {
            AppendRow(table, u"Row " + rtl::IntToStr(i), i);
        }
    });
    loader.join();
    // Nothing reaches the model until its own thread runs the queued reset.
    EXPECT_EQ(model.rowCount(), 0);
    QTRY_COMPARE(model.rowCount(), 200);
    EXPECT_EQ(model.index(199, 1).data().toString(), "Row 199");
    // Many notifications from the loader collapse into few resets.
    EXPECT_LT(resets.count(), 200);
}

TEST(MemTableModelTest, ModelDestroyedWhileAnotherThreadWrites) {
    ven::testing::GuiApp();
    TMemTable table = MakeTable();
    table.Open();
    std::atomic<bool> stop{false};
    std::thread loader([&] {
        for (int i = 0; !stop; ++i) {
            AppendRow(table, u"Row", i);
        }
    });
    for (int round = 0; round < 20; ++round) {
        auto model = std::make_unique<TMemTableModel>(table, Columns());
        QCoreApplication::processEvents();
        model.reset();
        QCoreApplication::processEvents();
    }
    stop = true;
    loader.join();
    SUCCEED();
}

} // namespace

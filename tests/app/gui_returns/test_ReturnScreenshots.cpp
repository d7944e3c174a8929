// Pictures of the two return windows on the demo datasets, for the documentation. Runs only when
// VENTURO_SCREENSHOT_DIR names the folder to write to; the demo prefix is written to a temporary
// folder. Writes vat_returns.png and group_return.png, and the test-mode pictures beside them.
#include "ReturnsTestSupport.h"
#include "app/core/DatasetBrowse.h"
#include "app/gui/form_vat_returns.h"
#include "app/gui/frm_group_return.h"
#include "sage_datasets/SageDataset.h"

#include <QDir>
#include <QTest>
#include <QTimer>

#include <cstdlib>

namespace {

using namespace ven;
using namespace ven::testing;

class ReturnScreenshots : public ReturnsTest {
protected:
    void SetUp() override {
        ReturnsTest::SetUp();
        const char* dir = std::getenv("VENTURO_SCREENSHOT_DIR");
        if (!dir) {
            GTEST_SKIP() << "set VENTURO_SCREENSHOT_DIR to take screenshots";
        }
        out.setPath(QString::fromLocal8Bit(dir));
        ASSERT_TRUE(out.mkpath("."));
        venturo::sample::WriteDemoPrefix(tmp.Path() / "prefix");
        auto list =
            tmp.Path() / "prefix" / "drive_c" / "Program Files (x86)" / "Sage" / "Accounts" / "COMPANY";
        ASSERT_GT(AddDatasetsFromCompanyFile(dm, ToText(list)).Added, 0);
    }
    sage::TSageDataset* Find(const rtl::UnicodeString& company) {
        rtl::TStringList& list = *dm.DataSets();
        for (int i = 0; i < list.Count(); ++i) {
            auto* dataset = dynamic_cast<sage::TSageDataset*>(list.Objects(i));
            if (dataset && dataset->CompanyName() == company) {
                return dataset;
            }
        }
        return nullptr;
    }
    void Save(QWidget& window, const QString& name) {
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QTest::qWait(50);
        ASSERT_TRUE(window.grab().save(out.filePath(name)));
    }

    QDir out;
};

TEST_F(ReturnScreenshots, SingleDatasetWindow) {
    sage::TSageDataset* dataset = Find(u"Harrogate Tea Rooms Ltd");
    ASSERT_NE(dataset, nullptr);
    for (bool testMode : {false, true}) {
        Tform_vat_returns form(dm);
        form.SetTestMode(testMode);
        form.SetDataset(dataset);
        form.show();
        Save(form, testMode ? "vat_returns-test.png" : "vat_returns.png");
    }
}

TEST_F(ReturnScreenshots, GroupWindow) {
    sage::TSageDataset* dataset = Find(u"Ashworth & Daughters Ltd");
    ASSERT_NE(dataset, nullptr);
    for (bool testMode : {false, true}) {
        TfrmGroupReturn form(dm);
        form.SetTestMode(testMode);
        form.SetDataset(dataset);
        form.show();
        QTRY_VERIFY_WITH_TIMEOUT(!form.tmrSelect->isActive(), 2000);
        Save(form, testMode ? "group_return-test.png" : "group_return.png");
    }
}

} // namespace

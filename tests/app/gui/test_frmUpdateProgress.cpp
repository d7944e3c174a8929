// The update progress window's captions and bar.
#include "app/gui/frmUpdateProgress.h"

#include "app/gui/GuiTestSupport.h"

#include <QLabel>
#include <QProgressBar>

#include <gtest/gtest.h>

namespace {

TEST(UpdateProgressTest, CaptionsLabelsAndBar) {
    ven::testing::GuiApp();
    QWidget owner;
    ven::TfrmUpdateProgress form(&owner);
    EXPECT_EQ(form.windowTitle(), "Update Progress");
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(form.lblTotalFiles->text(), "Unknown");
    EXPECT_EQ(form.lblCurrentFile->text(), "Unknown");
    QStringList captions;
    for (QLabel* label : form.findChildren<QLabel*>()) {
        captions << label->text();
    }
    for (const char* caption : {"Total Files:", "Current File:", "File Progress:"}) {
        EXPECT_TRUE(captions.contains(caption)) << caption;
    }
    EXPECT_EQ(form.pbFileProgress->minimum(), 0);
    EXPECT_EQ(form.pbFileProgress->maximum(), 100);
    form.pbFileProgress->setValue(42);
    EXPECT_EQ(form.pbFileProgress->text(), "42%");
}

} // namespace

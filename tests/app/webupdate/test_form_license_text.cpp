// The licence window: layout, the memo's text and the two answers.
#include "app/gui/form_license_text.h"

#include <QApplication>
#include <QFontMetrics>
#include <QFrame>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

// One application for the whole run, gone before exit so that Qt tears its fonts down in order.
class TApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { _app = std::make_unique<QApplication>(_argc, _argv); }
    void TearDown() override { _app.reset(); }

private:
    int _argc = 1;
    char _name[40] = "webupdate_test_form_license_text";
    char* _argv[2] = {_name, nullptr};
    std::unique_ptr<QApplication> _app;
};

[[maybe_unused]] const ::testing::Environment* const kApplication =
    ::testing::AddGlobalTestEnvironment(new TApplicationEnvironment);

// Shows the window modally and clicks button once it is up; returns the result and what the memo
// showed meanwhile.
int ShowAndClick(ven::TfrmLicenseText& form, QPushButton* button, QString& shownText, bool& memoVisible) {
    QTimer::singleShot(0, &form, [&] {
        shownText = form.memLicenseText->toPlainText();
        memoVisible = form.memLicenseText->isVisible();
        button->click();
    });
    return form.exec();
}

TEST(FormLicenseText, LayoutAndCaptions) {
    ven::TfrmLicenseText form;
    EXPECT_EQ(form.windowTitle(), "End User License");
    EXPECT_EQ(form.size(), QSize(576, 516));
    EXPECT_EQ(form.pnlHeader->height(), 49);
    EXPECT_TRUE(form.memLicenseText->isReadOnly());
    EXPECT_EQ(form.memLicenseText->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(form.memLicenseText->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QFontMetrics metrics(form.memLicenseText->font()); // fixed pitch: narrow and wide letters alike
    EXPECT_EQ(metrics.horizontalAdvance("iiii"), metrics.horizontalAdvance("MMMM"));
    EXPECT_EQ(form.btnDecline->text(), "&Decline and Cancel");
    EXPECT_EQ(form.btnAccept->text(), "&Accept and Update");
    form.show();
    EXPECT_LT(form.btnDecline->geometry().left(), form.btnAccept->geometry().left());
    EXPECT_GT(form.btnAccept->geometry().right(), form.width() / 2);
}

TEST(FormLicenseText, AcceptAndDeclineAnswerOkAndCancel) {
    rtl::TStringList lines;
    lines.Add(u"Terms of use");
    lines.Add(u"");
    lines.Add(u"  \u00a9 Corvane");
    ven::TfrmLicenseText form;
    form.SetLines(lines);
    QString shown;
    bool visible = false;
    EXPECT_EQ(ShowAndClick(form, form.btnAccept, shown, visible), QDialog::Accepted);
    EXPECT_EQ(shown, QString::fromUtf16(u"Terms of use\n\n  \u00a9 Corvane"));
    EXPECT_EQ(ShowAndClick(form, form.btnDecline, shown, visible), QDialog::Rejected);
}

TEST(FormLicenseText, AnEmptyLicenceShowsAnEmptyMemo) {
    ven::TfrmLicenseText form;
    rtl::TStringList old;
    old.Add(u"left over");
    form.SetLines(old);
    form.SetLines(rtl::TStringList());
    QString shown = "unset";
    bool visible = false;
    EXPECT_EQ(ShowAndClick(form, form.btnDecline, shown, visible), QDialog::Rejected);
    EXPECT_TRUE(visible);
    EXPECT_EQ(shown, "");
}

} // namespace

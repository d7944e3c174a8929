#pragma once
// Tform_splash: the borderless window that shows loading progress at start-up.
#include "rtl/SyncObjs.h"
#include "rtl/UnicodeString.h"

#include <QWidget>

class QLabel;

namespace ven {

class Tform_splash : public QWidget {
    Q_OBJECT
public:
    /// Borderless, on top, 690 x 496, destroyed once closed.
    explicit Tform_splash(QWidget* parent = nullptr);

    /// The progress label's text; a doubled "&" shows as one "&", a carriage return breaks the line,
    /// and a line too long for the label loses characters from its middle.
    void ShowProgress(const rtl::UnicodeString& text);
    /// On top of other windows, or an ordinary window.
    void SetOnTop(bool onTop);

    rtl::UnicodeString Message() const;
    void SetMessage(const rtl::UnicodeString& value);

    /// The text a label shows for text written with accelerator marks: "&&" is a literal "&", a
    /// single "&" marks the next character and is not shown; CR LF, CR and LF break the line.
    static QString LabelText(const rtl::UnicodeString& text);

    QLabel* imgBackground;
    QLabel* lblMessage;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ScaleToFit(const QSize& area);
    mutable rtl::TCriticalSection _csLock;
    rtl::UnicodeString _szMessage = u"Initialising ...";
};

} // namespace ven

#pragma once
// Plain message boxes of the program, with a "next answer" hook so that tests never block on one.
#include <QMessageBox>
#include <QString>

namespace ven {

class MessageBox {
public:
    /// A plain information box with an OK button; returns the button that closed it.
    static QMessageBox::StandardButton information(QWidget* parent, const QString& text);
    /// A warning box with an OK button.
    static QMessageBox::StandardButton warning(QWidget* parent, const QString& text);

    /// The next box is not shown: it answers button at once (tests). NoButton shows boxes again.
    static void setNextAnswer(QMessageBox::StandardButton button);
    /// Text of the last box shown or answered through the hook; empty before any.
    static QString lastText();
    /// Forgets the last text (tests).
    static void clearLastText();

private:
    static QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& text);
};

} // namespace ven

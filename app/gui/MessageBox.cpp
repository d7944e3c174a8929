#include "app/gui/MessageBox.h"

namespace ven {

namespace {
QMessageBox::StandardButton g_nextAnswer = QMessageBox::NoButton;
QString g_lastText;
} // namespace

QMessageBox::StandardButton MessageBox::information(QWidget* parent, const QString& text) {
    return show(parent, QMessageBox::Information, text);
}

QMessageBox::StandardButton MessageBox::warning(QWidget* parent, const QString& text) {
    return show(parent, QMessageBox::Warning, text);
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton button) {
    g_nextAnswer = button;
}

QString MessageBox::lastText() {
    return g_lastText;
}

void MessageBox::clearLastText() {
    g_lastText.clear();
}

QMessageBox::StandardButton MessageBox::show(QWidget* parent, QMessageBox::Icon icon, const QString& text) {
    g_lastText = text;
    if (g_nextAnswer != QMessageBox::NoButton) {
        QMessageBox::StandardButton answer = g_nextAnswer;
        g_nextAnswer = QMessageBox::NoButton;
        return answer;
    }
    // Core messages break lines with a carriage return.
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icon, QStringLiteral("Venturo MTD"), shown, QMessageBox::Ok, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace ven

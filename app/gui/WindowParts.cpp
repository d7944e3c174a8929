#include "app/gui/WindowParts.h"

#include <algorithm>

#include "app/core/GridColumnSizes.h"
#include "app/core/PortalHandOff.h"
#include "app/gui/QtText.h"

#include <QApplication>
#include <QDialog>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

namespace ven {

namespace {
const QColor kReadOnlyEditColour(192, 192, 192);
} // namespace

void StackPanels(QWidget* window, QWidget* header, QWidget* content, QWidget* footer) {
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(header);
    layout->addWidget(content, 1);
    layout->addWidget(footer);
}

QFrame* MakePanel(const QString& name, QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setAutoFillBackground(true);
    return panel;
}

QLineEdit* MakeReadOnlyEdit(const QString& name, QWidget* parent, bool bold) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    if (bold) {
        QFont font = edit->font();
        font.setBold(true);
        edit->setFont(font);
    }
    SetNameEditable(edit, false);
    return edit;
}

void SetNameEditable(QLineEdit* edit, bool editable) {
    edit->setReadOnly(!editable);
    QPalette pal = edit->palette();
    pal.setColor(QPalette::Base,
                 editable ? QApplication::palette(edit).color(QPalette::Base) : kReadOnlyEditColour);
    edit->setPalette(pal);
}

QToolButton* MakeEditNameButton(QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QStringLiteral("btnEditName"));
    button->setText(QStringLiteral("&Edit"));
    button->setCheckable(true);
    button->setToolTip(QStringLiteral("Change VAT Return Name"));
    return button;
}

QFrame* MakeSubmitFooter(QDialog* dialog, QPushButton*& btnSubmitVAT, QPushButton*& btnCancel) {
    QFrame* footer = MakePanel(QStringLiteral("pnlFooter"), dialog);
    footer->setFixedHeight(42);
    auto* notice = new QLabel(ToQString(TestModeNotice()), footer);
    notice->setObjectName(QStringLiteral("lblTestMode"));
    notice->hide();
    btnSubmitVAT = new QPushButton(QStringLiteral("&Submit"), footer);
    btnSubmitVAT->setObjectName(QStringLiteral("btnSubmitVAT"));
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), footer);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    QObject::connect(btnCancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(8, 0, 8, 0);
    row->setSpacing(8);
    row->addWidget(notice);
    row->addStretch(1);
    row->addWidget(btnSubmitVAT);
    row->addWidget(btnCancel);
    return footer;
}

QLabel* TestModeNoticeOf(QFrame* footer) {
    return footer->findChild<QLabel*>(QStringLiteral("lblTestMode"));
}

void ShowTestModeNotice(QFrame* footer, bool testMode) {
    if (QLabel* notice = TestModeNoticeOf(footer)) {
        notice->setVisible(testMode);
    }
}

bool RestoreWindowBounds(QWidget* window, const rtl::UnicodeString& section) {
    std::optional<TWindowBounds> saved = LoadWindowBounds(section);
    if (!saved) {
        return false;
    }
    const QRect frame(saved->Left, saved->Top, saved->Width, saved->Height);
    // A screen taken away since (a second monitor, a remote session's) must not strand the window.
    QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen || !screen->availableGeometry().intersects(frame)) {
        return false;
    }
    window->setGeometry(frame);
    if (saved->Maximised) {
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
    }
    return true;
}

void PlaceOnScreen(QWidget* window, bool placed) {
    if (!placed) {
        if (QScreen* screen = window->screen()) {
            QRect frame = window->frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            window->move(frame.topLeft());
        }
    }
    FitToScreen(window);
}

void FitToScreen(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen || window->isMaximized() || window->isFullScreen()) {
        return;
    }
    const QRect area = screen->availableGeometry();
    // The frame (title bar, borders) is known once the window is shown; before, it counts as none.
    const QSize frameExtra = window->frameGeometry().size() - window->geometry().size();
    const QSize size = window->size()
                           .boundedTo(area.size() - frameExtra)
                           .expandedTo(window->minimumSize())
                           .expandedTo(window->minimumSizeHint().boundedTo(area.size() - frameExtra));
    if (size != window->size()) {
        window->resize(size);
    }
    const QRect frame = window->frameGeometry();
    // The title bar first: a window too large for the area keeps its top left corner on it.
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    if (x != frame.left() || y != frame.top()) {
        window->move(x, y);
    }
}

void SaveWindowBounds(QWidget* window, const rtl::UnicodeString& section) {
    const QRect frame = window->isMaximized() ? window->normalGeometry() : window->geometry();
    if (frame.isEmpty()) {
        return;
    }
    ven::SaveWindowBounds(section,
                          {frame.x(), frame.y(), frame.width(), frame.height(), window->isMaximized()});
}

} // namespace ven

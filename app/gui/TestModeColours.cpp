#include "app/gui/TestModeColours.h"

#include <QApplication>
#include <QPalette>
#include <QWidget>

namespace ven {

void ApplyTestModeColours(bool testMode, std::initializer_list<QWidget*> panels,
                          std::initializer_list<QWidget*> labels) {
    for (QWidget* panel : panels) {
        panel->setAutoFillBackground(true);
        QPalette pal;
        if (testMode) {
            pal.setColor(QPalette::Window, kTestModePanelColour);
        }
        panel->setPalette(pal);
    }
    for (QWidget* label : labels) {
        QPalette pal;
        if (testMode) {
            pal.setColor(QPalette::WindowText, Qt::white);
        }
        label->setPalette(pal);
    }
}

// A palette equal to the application's would still inherit the panel's colours role by role;
// setting each colour makes it the widget's own.
void KeepOrdinaryColours(QWidget* widget) {
    const QPalette system = QApplication::palette(widget);
    QPalette own;
    for (int group = 0; group < QPalette::NColorGroups; ++group) {
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto g = static_cast<QPalette::ColorGroup>(group);
            const auto r = static_cast<QPalette::ColorRole>(role);
            if (r != QPalette::NoRole) {
                own.setColor(g, r, system.color(g, r));
            }
        }
    }
    widget->setPalette(own);
}

} // namespace ven

#include "app/gui/TestModeColours.h"

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

} // namespace ven

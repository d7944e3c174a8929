#include "app/gui/form_main.h"

Tform_main::Tform_main(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Venturo MTD - Sage Accounts & Sage Instant Edition"));
    resize(890, 559);
}

#include "app/gui/form_main.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Tform_main mainWindow;
    mainWindow.show();
    return app.exec();
}

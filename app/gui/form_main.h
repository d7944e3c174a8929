#pragma once
// Tform_main: the program's main window.
#include <QMainWindow>

class Tform_main : public QMainWindow {
    Q_OBJECT
public:
    explicit Tform_main(QWidget* parent = nullptr);
};

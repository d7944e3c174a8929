#pragma once
// The peer of the event benchmark: a Qt signal with direct connections to plain slots.
#include <QObject>

class TQtSender : public QObject {
    Q_OBJECT
signals:
    void Fired(QObject* sender);
};

class TQtReceiver : public QObject {
    Q_OBJECT
public slots:
    void Heard(QObject*) { ++nHeard; }

public:
    long nHeard = 0;
};

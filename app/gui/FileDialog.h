#pragma once
// The file-open dialog of the program, with a "next file name" hook so that tests never block on it.
#include <QString>

class QWidget;

namespace ven {

class FileDialog {
public:
    static FileDialog* instance();

    /// An existing file chosen by the user in a resizable dialog; empty when cancelled.
    /// filter: Qt's form, "Name (pattern);;Name (pattern)".
    QString getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                            const QString& filter);

    /// The next dialog is not shown: it returns fileName at once (empty: as if cancelled).
    void setNextFileName(const QString& fileName);
    /// Shows dialogs again.
    void clearNextFileName();

private:
    FileDialog() = default;
    QString m_nextFileName;
    bool m_hasNextFileName = false;
};

} // namespace ven

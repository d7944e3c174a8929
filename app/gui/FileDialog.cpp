#include "app/gui/FileDialog.h"

#include <QFileDialog>

namespace ven {

FileDialog* FileDialog::instance() {
    static FileDialog dialog;
    return &dialog;
}

QString FileDialog::getOpenFileName(QWidget* parent, const QString& caption, const QString& dir,
                                    const QString& filter) {
    if (m_hasNextFileName) {
        QString result = m_nextFileName;
        clearNextFileName();
        return result;
    }
    QFileDialog dialog(parent, caption, dir, filter);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setSizeGripEnabled(true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

void FileDialog::setNextFileName(const QString& fileName) {
    m_nextFileName = fileName;
    m_hasNextFileName = true;
}

void FileDialog::clearNextFileName() {
    m_nextFileName.clear();
    m_hasNextFileName = false;
}

} // namespace ven

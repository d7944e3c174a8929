#include "app/gui/DataGrid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>

namespace ven {

TDataGrid::TDataGrid(QWidget* parent) : QTableView(parent) {
    setTabKeyNavigation(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
}

void TDataGrid::SetEmptyText(const QString& text) {
    _szEmptyText = text;
    viewport()->update();
}

// Rows are what the grid is about: Home and End go to the first and last of them, not to the
// first and last cell of the row.
QModelIndex TDataGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    if ((cursorAction == MoveHome || cursorAction == MoveEnd) && model() &&
        model()->rowCount(rootIndex()) > 0) {
        const int row = cursorAction == MoveHome ? 0 : model()->rowCount(rootIndex()) - 1;
        const int column = currentIndex().isValid() ? currentIndex().column() : 0;
        return model()->index(row, column, rootIndex());
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

// A Ctrl-click on the selected row would leave no row selected, and a window reading its choice
// from the selection would then have none: the selection only ever moves to another row.
QItemSelectionModel::SelectionFlags TDataGrid::selectionCommand(const QModelIndex& index,
                                                                const QEvent* event) const {
    QItemSelectionModel::SelectionFlags flags = QTableView::selectionCommand(index, event);
    if (flags.testAnyFlags(QItemSelectionModel::Deselect | QItemSelectionModel::Toggle) || !index.isValid()) {
        return QItemSelectionModel::NoUpdate;
    }
    return flags;
}

void TDataGrid::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        emit EnterPressed();
    }
    QTableView::keyPressEvent(event);
}

void TDataGrid::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (_szEmptyText.isEmpty() || !model() || model()->rowCount(rootIndex()) > 0) {
        return;
    }
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::PlaceholderText));
    QRect area = viewport()->rect().adjusted(24, 24, -24, -24);
    painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, _szEmptyText);
}

} // namespace ven

#pragma once
// TDataGrid: the table view of the windows' grids. One whole row is always the selection; Tab
// leaves the grid instead of walking its cells; Home and End go to the first and last row; Enter
// is announced for the window to act on; an empty grid can say why it is empty.
#include <QTableView>

namespace ven {

class TDataGrid : public QTableView {
    Q_OBJECT
public:
    explicit TDataGrid(QWidget* parent = nullptr);

    /// Drawn in the middle of the grid while it has no rows; empty: nothing.
    void SetEmptyText(const QString& text);
    QString EmptyText() const { return _szEmptyText; }

signals:
    /// Enter or Return was pressed in the grid (the key then goes on to the window as usual).
    void EnterPressed();

protected:
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString _szEmptyText;
};

} // namespace ven

// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/figure_grid.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include "app/input_checks.h"
#include "gui/dialogs.h"
#include "gui/numeric_field.h"

tFigure_grid::tFigure_grid(int rows, int columns, QWidget* parent)
    : QTableWidget(rows, columns, parent), figures_(new tNumeric_delegate(this)) {
  setEditTriggers(DoubleClicked | EditKeyPressed | AnyKeyPressed);
}

void tFigure_grid::Set_figure_column(int column) {
  if (column < 0) {
    all_figures_ = true;
    setItemDelegate(figures_);
  } else {
    setItemDelegateForColumn(column, figures_);
  }
}

bool tFigure_grid::Is_figure_cell(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  if (cell != nullptr && !(cell->flags() & Qt::ItemIsEditable)) return false;
  return all_figures_ || itemDelegateForColumn(column) == figures_;
}

QString tFigure_grid::Cell_text(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell == nullptr ? QString() : cell->text().trimmed();
}

void tFigure_grid::Set_cell(int row, int column, const QString& text, bool editable) {
  auto* cell = new QTableWidgetItem(text);
  if (!editable) cell->setFlags(cell->flags() & ~Qt::ItemIsEditable & ~Qt::ItemIsEnabled);
  setItem(row, column, cell);
}

bool tFigure_grid::Has_figures(int row) const {
  for (int r = 0; r < rowCount(); ++r) {
    if (row >= 0 && r != row) continue;
    for (int c = 0; c < columnCount(); ++c)
      if (Is_figure_cell(r, c) && !Cell_text(r, c).isEmpty()) return true;
  }
  return false;
}

// On a cell that is not being edited: Delete and Backspace clear, a paste replaces. Any
// other key goes on to the view, where a typed character opens the editor over the whole
// figure and enters it through the field's typing rules.
void tFigure_grid::keyPressEvent(QKeyEvent* event) {
  if (state() != EditingState) {
    if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
      Clear_selected();
      return;
    }
    if (event->matches(QKeySequence::Paste)) {
      Paste_into_current();
      return;
    }
  }
  QTableWidget::keyPressEvent(event);
}

// A move by Tab that would wrap round to the other end of the table leaves it instead:
// the view then passes the focus on.
QModelIndex tFigure_grid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex from = currentIndex();
  const QModelIndex to = QTableWidget::moveCursor(action, modifiers);
  if (!from.isValid() || !to.isValid()) return to;
  const auto order = [](const QModelIndex& index) { return std::pair(index.row(), index.column()); };
  if (action == MoveNext && order(to) <= order(from)) return {};
  if (action == MovePrevious && order(to) >= order(from)) return {};
  return to;
}

// Tab in the editor of the last cell (Shift+Tab in the first) closes it and leaves the
// table at once, as Tab on the cell does.
void tFigure_grid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  const bool next = hint == QAbstractItemDelegate::EditNextItem;
  if ((next || hint == QAbstractItemDelegate::EditPreviousItem) &&
      !moveCursor(next ? MoveNext : MovePrevious, Qt::NoModifier).isValid()) {
    QTableWidget::closeEditor(editor, QAbstractItemDelegate::NoHint);
    if (next) focusNextChild();
    else focusPreviousChild();
    return;
  }
  QTableWidget::closeEditor(editor, hint);
}

void tFigure_grid::Clear_selected() {
  for (QTableWidgetItem* cell : selectedItems())
    if (cell->flags() & Qt::ItemIsEditable) cell->setText(QString());
}

// A figure cell takes the clipboard's text by the fields' paste rule, whole or not at all;
// a name cell takes its first line.
void tFigure_grid::Paste_into_current() {
  const int row = currentRow(), column = currentColumn();
  QTableWidgetItem* cell = item(row, column);
  if (cell == nullptr || !(cell->flags() & Qt::ItemIsEditable)) return;
  const QString pasted = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
  if (!Is_figure_cell(row, column)) {
    cell->setText(pasted.trimmed().section(QLatin1Char('\n'), 0, 0).trimmed());
    return;
  }
  const tPasted_text result = Paste_into_field({}, 0, 0, pasted.toStdString());
  if (!result.Ok) {
    tDialogs::Beep();
    tDialogs::Warning(window(), QString::fromLatin1(result.Message));
    return;
  }
  cell->setText(QString::fromStdString(result.Text));
}

// SPDX-License-Identifier: GPL-3.0-or-later
// A table of figures that edits like a spreadsheet and types like the worksheet's fields:
// its figure cells edit in a numeric field (gui/numeric_field.h), so typing, pasting and
// the length limit follow the worksheet's rules; on a selected cell, typing replaces the
// figure, Delete clears the selected cells, and Ctrl+V pastes into the current cell, taken
// whole or refused whole. Tab moves through the editable cells and leaves the table after
// the last one (Shift+Tab before the first) instead of wrapping round.
#pragma once

#include <QTableWidget>

class tNumeric_delegate;

class tFigure_grid : public QTableWidget {
  Q_OBJECT

 public:
  tFigure_grid(int rows, int columns, QWidget* parent = nullptr);

  // Cells of this column (all columns when -1) hold figures and edit as numeric fields;
  // the others are plain text.
  void Set_figure_column(int column);
  bool Is_figure_cell(int row, int column) const;

  // The cell's text without surrounding spaces.
  QString Cell_text(int row, int column) const;
  // A cell with the given text; read-only cells are also disabled (greyed, skipped by Tab).
  void Set_cell(int row, int column, const QString& text, bool editable = true);
  // True when any editable cell of the figure columns (of the row, when row >= 0) holds text.
  bool Has_figures(int row = -1) const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  void Paste_into_current();
  void Clear_selected();

  // One delegate per table: a delegate shared between views sends its editor's commit
  // and close to every one of them.
  tNumeric_delegate* figures_ = nullptr;
  bool all_figures_ = false;
};

// SPDX-License-Identifier: GPL-3.0-or-later
// A single-line field that takes numbers only, by the worksheet's typing rules: every key
// press passes Key_filter (a comma becomes a point; any other character but the sign, the
// point and the digits is refused with a beep and "Enter numeric data only."), and a key
// released with more than kMax_field_length characters in the field cuts the text back.
// The minus sign U+2212 types a minus. Text that arrives other than by typing (a paste by
// key, menu or middle button, a drop, an input method's commit) is taken whole or refused
// whole with one message, by the core's paste rule (Paste_into_field: surrounding white
// space and line ends dropped, every other character as the key filter types it, the
// result within the maximum length).
// Messages go through tDialogs, over the field's window.
#pragma once

#include <QLineEdit>
#include <QStyledItemDelegate>
#include <functional>

class QKeyEvent;

class tNumeric_field : public QLineEdit {
  Q_OBJECT

 public:
  explicit tNumeric_field(QWidget* parent = nullptr);

  // The window's handlers of the field's key press and key release, called instead of
  // the field's own rules when set (a key press handler returns true when it has dealt
  // with the key); they apply the rules through Type_key and Check_length.
  std::function<bool(QKeyEvent* key)> On_key_press;
  std::function<void()> On_key_up;

  // The typing rule for one key press; true when the key was dealt with here (typed in
  // its filtered form, refused, or a paste), false when the line edit handles it as usual.
  bool Type_key(QKeyEvent* key);
  // The length rule on a key release.
  void Check_length();
  // Text from outside (a paste, a drop) through the typing rules, at the cursor or over the
  // selection.
  void Insert_text(const QString& text);
  // The field's font at the largest pixel size, up to its own, at which six of its widest
  // digits and the text cursor fit.
  void Fit_six_digits();

 protected:
  bool event(QEvent* event) override;

 private:
  bool Mouse_event(QEvent* event);
  bool Drag_event(QEvent* event);
  void Show_context_menu(const QPoint& global_position);

  // A key released here checks the length only when it was also pressed here (not, say,
  // the Enter that closed a message box over the field).
  bool key_pressed_here_ = false;
};

// A table's cell editor that is a numeric field.
class tNumeric_delegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override;
};

// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/numeric_field.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <algorithm>
#include <cmath>

#include "app/input_checks.h"
#include "gui/dialogs.h"

namespace {

constexpr auto kMax_length = static_cast<qsizetype>(kMax_field_length);

QString Qt_text(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

tNumeric_field::tNumeric_field(QWidget* parent) : QLineEdit(parent) {
  // Typed text comes as key presses only, through the key filter; an input method's
  // composition would bypass it (its commits still arrive, and are filtered).
  setAttribute(Qt::WA_InputMethodEnabled, false);
}

// A key that types a character goes through Key_filter. Keys that type nothing (arrows,
// Home, End, Delete, Escape) and the editing shortcuts held with Ctrl (select all, copy,
// cut, undo, redo) edit the field as usual; a paste, by Ctrl+V or Shift+Insert, passes
// the typing rules character by character. Alt and Meta with a letter are menu and window
// keys, never typed text.
bool tNumeric_field::Type_key(QKeyEvent* key) {
  if (key->matches(QKeySequence::Paste)) {
    Insert_text(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
    return true;
  }
  const QString typed = key->text();
  if (typed.size() != 1 || key->key() == Qt::Key_Delete) return false;
  const Qt::KeyboardModifiers held = key->modifiers();
  if (held & (Qt::AltModifier | Qt::MetaModifier)) return true;
  if (held & Qt::ControlModifier) return false;
  const char16_t code = typed.front().unicode();
  const bool edits = code == 8 || code == 9 || code == 13;  // backspace, tab, carriage return
  if (!edits && !typed.front().isPrint()) return false;
  const char inserted = Key_filter_code(code);
  if (inserted == '\0') {
    tDialogs::Beep();
    tDialogs::Warning(window(), Qt_text(kNumeric_only_message));
    return true;
  }
  if (inserted == static_cast<char>(code)) return false;
  insert(QString(QLatin1Char(inserted)));
  return true;
}

void tNumeric_field::Check_length() {
  const QString current = text();
  if (current.size() <= kMax_length) return;
  tDialogs::Beep();
  tDialogs::Warning(window(), Qt_text(kMax_length_message));
  // Text that only a paste could bring in may hold characters beyond ASCII: cut it in
  // characters, not in bytes.
  const bool ascii =
      std::all_of(current.begin(), current.end(), [](QChar c) { return c.unicode() < 0x80; });
  setText(ascii ? Qt_text(Limit_length(current.toStdString())) : current.left(kMax_length));
  selectAll();
}

void tNumeric_field::Insert_text(const QString& inserted) {
  const QString current = text();
  const qsizetype from = hasSelectedText() ? selectionStart() : cursorPosition();
  const qsizetype to = hasSelectedText() ? selectionEnd() : from;
  const tPasted_text pasted =
      Paste_into_field(current.toStdString(), static_cast<std::size_t>(current.left(from).toUtf8().size()),
                       static_cast<std::size_t>(current.left(to).toUtf8().size()), inserted.toStdString());
  if (!pasted.Ok) {
    tDialogs::Beep();
    tDialogs::Warning(window(), QString::fromLatin1(pasted.Message));
    return;
  }
  // What the paste puts in place of the selection, inserted as an edit the user can undo.
  const QString now = Qt_text(pasted.Text);
  insert(now.mid(from, now.size() - (current.size() - (to - from))));
}

// The text area that the style leaves inside the frame, less QLineEdit's further 2-pixel
// margin on either side and the text cursor.
void tNumeric_field::Fit_six_digits() {
  constexpr int kLine_edit_margin = 2;
  constexpr int kCursor_width = 1;
  constexpr int kSmallest_pixel_size = 8;
  QStyleOptionFrame option;
  option.initFrom(this);
  option.rect = rect();
  option.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this);
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  const QMargins margins = textMargins();
  const int room = style()->subElementRect(QStyle::SE_LineEditContents, &option, this).width() -
                   margins.left() - margins.right() - 2 * kLine_edit_margin - kCursor_width;
  QFont sized = font();
  auto needed = [](const QFont& f) {
    const QFontMetricsF metrics(f);
    qreal widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit) {
      widest = std::max(widest, metrics.horizontalAdvance(QString(6, QLatin1Char(digit))));
    }
    return std::ceil(widest);
  };
  while (sized.pixelSize() > kSmallest_pixel_size && needed(sized) > room) {
    sized.setPixelSize(sized.pixelSize() - 1);
  }
  setFont(sized);
}

bool tNumeric_field::event(QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress: {
      key_pressed_here_ = true;
      auto* key = static_cast<QKeyEvent*>(event);
      if (On_key_press ? On_key_press(key) : Type_key(key)) return true;
      break;
    }
    case QEvent::KeyRelease:
      if (key_pressed_here_) {
        if (On_key_up) {
          On_key_up();
        } else {
          Check_length();
        }
      }
      break;
    case QEvent::FocusIn:
      key_pressed_here_ = false;
      break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
      if (Mouse_event(event)) return true;
      break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      return Drag_event(event);
    case QEvent::ContextMenu:
      Show_context_menu(static_cast<QContextMenuEvent*>(event)->globalPos());
      return true;
    case QEvent::InputMethod: {
      auto* input = static_cast<QInputMethodEvent*>(event);
      if (!input->commitString().isEmpty()) Insert_text(input->commitString());
      return true;
    }
    default:
      break;
  }
  return QLineEdit::event(event);
}

// The middle button pastes the primary selection where it is clicked; the other buttons
// act as usual.
bool tNumeric_field::Mouse_event(QEvent* event) {
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::MiddleButton) return false;
  if (event->type() == QEvent::MouseButtonRelease && rect().contains(mouse->position().toPoint())) {
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (clipboard->supportsSelection()) {
      deselect();
      setCursorPosition(cursorPositionAt(mouse->position().toPoint()));
      Insert_text(clipboard->text(QClipboard::Selection));
    }
  }
  return true;
}

// A dragged text is copied in (the source keeps it) where it is dropped.
bool tNumeric_field::Drag_event(QEvent* event) {
  if (event->type() != QEvent::Drop) {
    auto* drag = static_cast<QDragMoveEvent*>(event);
    if (drag->mimeData()->hasText()) {
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
    } else {
      drag->ignore();
    }
    return true;
  }
  auto* drop = static_cast<QDropEvent*>(event);
  if (!drop->mimeData()->hasText()) {
    drop->ignore();
    return true;
  }
  drop->setDropAction(Qt::CopyAction);
  drop->accept();
  setFocus(Qt::OtherFocusReason);
  deselect();
  setCursorPosition(cursorPositionAt(drop->position().toPoint()));
  Insert_text(drop->mimeData()->text());
  return true;
}

// The line edit's usual menu, built here so that its Paste goes through the typing rules.
void tNumeric_field::Show_context_menu(const QPoint& global_position) {
  QMenu menu(this);
  menu.setObjectName(QStringLiteral("mnuField"));
  auto add = [&](const char* name, const QString& caption_text, QKeySequence::StandardKey key,
                 bool enabled, auto&& handler) {
    QString caption = caption_text;
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    if (!shortcut.isEmpty()) caption += QLatin1Char('\t') + shortcut;
    QAction* item = menu.addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setEnabled(enabled);
    connect(item, &QAction::triggered, this, handler);
  };
  const bool selected = hasSelectedText();
  add("edit-undo", QStringLiteral("&Undo"), QKeySequence::Undo, isUndoAvailable(),
      [this] { undo(); });
  add("edit-redo", QStringLiteral("&Redo"), QKeySequence::Redo, isRedoAvailable(),
      [this] { redo(); });
  menu.addSeparator();
  add("edit-cut", QStringLiteral("Cu&t"), QKeySequence::Cut, selected, [this] { cut(); });
  add("edit-copy", QStringLiteral("&Copy"), QKeySequence::Copy, selected, [this] { copy(); });
  add("edit-paste", QStringLiteral("&Paste"), QKeySequence::Paste,
      !QGuiApplication::clipboard()->text(QClipboard::Clipboard).isEmpty(),
      [this] { Insert_text(QGuiApplication::clipboard()->text(QClipboard::Clipboard)); });
  add("edit-delete", QStringLiteral("Delete"), QKeySequence::UnknownKey, selected,
      [this] { del(); });
  menu.addSeparator();
  add("select-all", QStringLiteral("Select All"), QKeySequence::SelectAll, !text().isEmpty(),
      [this] { selectAll(); });
  menu.exec(global_position);
}

QWidget* tNumeric_delegate::createEditor(QWidget* parent, const QStyleOptionViewItem& /*option*/,
                                         const QModelIndex& /*index*/) const {
  auto* field = new tNumeric_field(parent);
  field->setFrame(false);
  return field;
}

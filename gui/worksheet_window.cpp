// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/worksheet_window.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <exception>
#include <optional>
#include <variant>

#include "app/control_data.h"
#include "app/input_checks.h"
#include "app/report.h"
#include "distrib/progress.h"
#include "gui/background_run.h"
#include "gui/dialogs.h"
#include "gui/results_viewer.h"
#include "gui/screen_fit.h"
#include "stats/metrics_papers.h"

namespace {

constexpr int kClient_width = 792;
constexpr int kClient_height = 573;
constexpr int kNotes_height = 25;        // the notes memo, one line high
constexpr int kNotes_grown_height = 70;  // while it is being written in
constexpr int kNotes_max_length = 250;
constexpr int kDescription_scroll_length = 550;  // a longer description gets a scroll bar

QString Qt_text(const std::string& text) { return QString::fromStdString(text); }

// The hourglass for the duration of a computation; the destructor brings the default
// cursor back also when the computation ends in an error.
class tBusy_cursor {
 public:
  tBusy_cursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~tBusy_cursor() { QGuiApplication::restoreOverrideCursor(); }
  tBusy_cursor(const tBusy_cursor&) = delete;
  tBusy_cursor& operator=(const tBusy_cursor&) = delete;
};

// What a paste or a drop puts into a field: each character as the key filter would type
// it. The editing keys that the filter lets through (backspace, tab, carriage return) move
// or delete when typed, so in a pasted text they are refused like any other character.
struct tFiltered_text {
  QString Text;
  bool Refused = false;
};

tFiltered_text Filter_inserted(const QString& text) {
  tFiltered_text filtered;
  for (const QChar c : text) {
    const char16_t code = c.unicode();
    const char typed = code < 0x80 ? Key_filter(static_cast<char>(code)) : '\0';
    if (typed == '-' || typed == '.' || (typed >= '0' && typed <= '9')) {
      filtered.Text += QLatin1Char(typed);
    } else {
      filtered.Refused = true;
    }
  }
  return filtered;
}

// The field's font at the largest pixel size, up to its own, at which six of its widest
// digits and the text cursor fit the text area that the style leaves inside the frame
// (QLineEdit keeps a further 2-pixel margin on either side).
void Fit_six_digits(QLineEdit* field) {
  constexpr int kLine_edit_margin = 2;
  constexpr int kCursor_width = 1;
  constexpr int kSmallest_pixel_size = 8;
  QStyleOptionFrame option;
  option.initFrom(field);
  option.rect = field->rect();
  option.lineWidth = field->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, field);
  option.midLineWidth = 0;
  option.state |= QStyle::State_Sunken;
  const QMargins margins = field->textMargins();
  const int room = field->style()->subElementRect(QStyle::SE_LineEditContents, &option, field).width() -
                   margins.left() - margins.right() - 2 * kLine_edit_margin - kCursor_width;
  QFont font = field->font();
  auto needed = [](const QFont& f) {
    const QFontMetricsF metrics(f);
    qreal widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit) {
      widest = std::max(widest, metrics.horizontalAdvance(QString(6, QLatin1Char(digit))));
    }
    return std::ceil(widest);
  };
  while (font.pixelSize() > kSmallest_pixel_size && needed(font) > room) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  field->setFont(font);
}

}  // namespace

TfrmTemplate::TfrmTemplate(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("frmTemplate"));
  createControls();
  Set_warning_hook([this](const std::string& message) { Statistics_warning(message, this); });
  FormCreate();
}

TfrmTemplate::~TfrmTemplate() { Set_warning_hook(nullptr); }

void TfrmTemplate::Set_viewer(TfrmTemplateResults* viewer) { viewer_ = viewer; }

// ---------------------------------------------------------------------------------------
// Controls

void TfrmTemplate::createControls() {
  QFont window_font = font();
  window_font.setPixelSize(13);
  setFont(window_font);
  setFixedSize(kClient_width, kClient_height);

  // The controls stand on a sheet of the designed size; the window shows it whole, or
  // with scroll bars where the screen leaves less room.
  sheet_ = new QWidget;
  sheet_->setObjectName(QStringLiteral("Sheet"));
  sheet_->setFixedSize(kClient_width, kClient_height);
  scroller_ = new QScrollArea(this);
  scroller_->setObjectName(QStringLiteral("SheetScroller"));
  scroller_->setFrameShape(QFrame::NoFrame);
  scroller_->setFocusPolicy(Qt::NoFocus);
  scroller_->setWidget(sheet_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(scroller_);

  DescripFld = new QPlainTextEdit(sheet_);
  DescripFld->setObjectName(QStringLiteral("DescripFld"));
  DescripFld->setGeometry(12, 7, 768, 94);
  DescripFld->setReadOnly(true);
  DescripFld->setFocusPolicy(Qt::NoFocus);
  QPalette face = DescripFld->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Window));
  DescripFld->setPalette(face);

  Panel1 = new QFrame(sheet_);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel1->setGeometry(12, 106, 768, 33);
  lblComments = new QLabel(QStringLiteral("User's &Notes:"), Panel1);
  lblComments->setObjectName(QStringLiteral("lblComments"));
  QFont bold = window_font;
  bold.setBold(true);
  // The caption must end before the memo at x 112; where the font found in place of the
  // 13-pixel system font is wider, a smaller size keeps it whole.
  constexpr int kCaption_room = 96;
  while (bold.pixelSize() > 9 &&
         QFontMetrics(bold).horizontalAdvance(QStringLiteral("User's Notes:")) > kCaption_room) {
    bold.setPixelSize(bold.pixelSize() - 1);
  }
  lblComments->setFont(bold);
  lblComments->setGeometry(4, 8, kCaption_room, 17);

  Panel2 = new QFrame(sheet_);
  Panel2->setObjectName(QStringLiteral("Panel2"));
  Panel2->setFrameStyle(QFrame::Panel | QFrame::Raised);
  Panel2->setGeometry(12, 143, 768, 378);
  createOptionGroups(Panel2);
  createInputFields(Panel2);

  // On the sheet itself, above both panels, so that it can grow over the options.
  memoComments = new QPlainTextEdit(sheet_);
  memoComments->setObjectName(QStringLiteral("memoComments"));
  memoComments->setGeometry(112, 110, 666, kNotes_height);
  memoComments->setFont(Courier_font(12));
  memoComments->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memoComments->setTabChangesFocus(true);
  memoComments->document()->setDocumentMargin(2);  // one whole line in 25 pixels
  memoComments->installEventFilter(this);
  memoComments->raise();
  connect(memoComments, &QPlainTextEdit::textChanged, this, &TfrmTemplate::memoCommentsChange);
  lblComments->setBuddy(memoComments);

  createButtons();
  createTabOrder();
}

void TfrmTemplate::createOptionGroups(QFrame* panel) {
  GroupBox1 = new QGroupBox(QStringLiteral("Apply..."), panel);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 0, 745, 57);
  RadioButton1 = new QRadioButton(QStringLiteral("&Bayesian criteria for dissociations"), GroupBox1);
  RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
  RadioButton1->setGeometry(24, 26, 310, 20);
  RadioButton2 = new QRadioButton(
      QStringLiteral("Co&mbined Bayesian / frequentist criteria for dissociations"), GroupBox1);
  RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
  RadioButton2->setGeometry(344, 26, 395, 20);
  RadioButton1->setChecked(true);

  GroupBox2 = new QGroupBox(
      QStringLiteral("When testing for a difference between the case's standardized scores "
                     "on Tasks X and Y use a... "),
      panel);
  GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
  GroupBox2->setGeometry(8, 64, 745, 49);
  radio_two_tail = new QRadioButton(QStringLiteral("&Two-tailed test"), GroupBox2);
  radio_two_tail->setObjectName(QStringLiteral("radio_two_tail"));
  radio_two_tail->setGeometry(24, 22, 310, 20);
  radio_one_tail = new QRadioButton(QStringLiteral("&One-tailed test"), GroupBox2);
  radio_one_tail->setObjectName(QStringLiteral("radio_one_tail"));
  radio_one_tail->setGeometry(344, 22, 310, 20);
  radio_two_tail->setChecked(true);

  // A radio group: a box of items of which exactly one is selected.
  Prior_Radio = new QGroupBox(QStringLiteral("Form of prior..."), panel);
  Prior_Radio->setObjectName(QStringLiteral("Prior_Radio"));
  Prior_Radio->setGeometry(8, 128, 249, 105);
  Prior_Radio_items = new QButtonGroup(Prior_Radio);
  const char* const items[] = {"C&alibrated (Recommended)", "&Standard Theory (Jeffreys prior)"};
  for (int i = 0; i < 2; ++i) {
    auto* item = new QRadioButton(QString::fromLatin1(items[i]), Prior_Radio);
    item->setObjectName(QStringLiteral("Prior_Radio_item%1").arg(i));
    item->setGeometry(12, 32 + 32 * i, 230, 20);
    Prior_Radio_items->addButton(item, i);
  }
  Prior_Radio_items->button(0)->setChecked(true);
}

void TfrmTemplate::createInputFields(QFrame* panel) {
  QFont bold = font();
  bold.setBold(true);
  QLabel** labels[] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7, &Label8};
  QLineEdit** fields[] = {&txtInput1, &txtInput2, &txtInput3, &txtInput4,
                          &txtInput5, &txtInput6, &txtInput7, &txtinput8};
  const char* const field_names[] = {"txtInput1", "txtInput2", "txtInput3", "txtInput4",
                                     "txtInput5", "txtInput6", "txtInput7", "txtinput8"};
  for (int k = 0; k < 8; ++k) {
    QLabel* label = new QLabel(panel);
    label->setObjectName(QStringLiteral("Label%1").arg(k + 1));
    label->setGeometry(280, 124 + 32 * k, 441, 17);
    *labels[k] = labels_[k] = label;

    QLineEdit* field = new QLineEdit(panel);
    field->setObjectName(QString::fromLatin1(field_names[k]));
    field->setGeometry(696, 120 + 32 * k, 56, 24);
    field->setFont(bold);
    Fit_six_digits(field);
    // Typed text comes as key presses only, through the key filter; input methods would
    // bypass it.
    field->setAttribute(Qt::WA_InputMethodEnabled, false);
    field->installEventFilter(this);
    *fields[k] = fields_[k] = field;
  }
}

void TfrmTemplate::createButtons() {
  QFont bold = font();
  bold.setBold(true);
  auto make_button = [&](QPushButton*& button, const char* name, const char* caption, int left,
                         int width, void (TfrmTemplate::*handler)()) {
    button = new QPushButton(QString::fromLatin1(caption), sheet_);
    button->setObjectName(QString::fromLatin1(name));
    button->setFont(bold);
    button->setGeometry(left, 536, width, 23);
    button->setAutoDefault(true);  // Enter clicks the focused button, as Space does
    connect(button, &QPushButton::clicked, this, handler);
  };
  make_button(cmdCompute, "cmdCompute", "&Compute", 20, 165, &TfrmTemplate::cmdComputeClick);
  make_button(btnclearData, "btnclearData", "Clear &Data ", 212, 161,
              &TfrmTemplate::btnclearDataClick);
  make_button(ExitBtn, "ExitBtn", "E&xit", 595, 161, &TfrmTemplate::ExitBtnClick);
}

// The eight fields first, in order, then the buttons, the notes and the options.
void TfrmTemplate::createTabOrder() {
  // clang-format off
  QWidget* order[] = {txtInput1, txtInput2, txtInput3, txtInput4,
                      txtInput5, txtInput6, txtInput7, txtinput8,
                      cmdCompute, btnclearData, ExitBtn, memoComments,
                      RadioButton1, RadioButton2, radio_two_tail, radio_one_tail,
                      Prior_Radio_items->button(0), Prior_Radio_items->button(1)};
  // clang-format on
  for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

// ---------------------------------------------------------------------------------------
// Creating and showing the window

void TfrmTemplate::FormCreate() {
  memoComments->clear();
  for (QLineEdit* field : fields_) field->clear();
  setWindowTitle(Qt_text(Program_title));
  DescripFld->setPlainText(QString::fromUtf8(kDescription));
  DescripFld->setVerticalScrollBarPolicy(
      DescripFld->toPlainText().size() > kDescription_scroll_length ? Qt::ScrollBarAlwaysOn
                                                                    : Qt::ScrollBarAlwaysOff);
  for (std::size_t k = 0; k < labels_.size(); ++k) labels_[k]->setText(Qt_text(kField_captions[k]));
  LoadPreviousData();
}

void TfrmTemplate::LoadPreviousData() {
  try {
    const tLoaded_controls loaded = Load_control_data(Data_file_path());
    if (!loaded.Found) return;
    for (std::size_t k = 0; k < loaded.Texts.size(); ++k) {
      fields_[k]->setText(Qt_text(loaded.Texts[k]));
    }
    if (!loaded.Error.empty()) tDialogs::Error(this, Qt_text(loaded.Error));
  } catch (const std::exception& error) {
    tDialogs::Error(this, Qt_text(error.what()));
  }
}

// The focused field's text is selected, so that typing replaces it.
void TfrmTemplate::FormShow() {
  QLineEdit* focused = txtInput1;
  if (!txtInput1->text().isEmpty()) {
    raise();
    activateWindow();
    focused = txtInput7;
  }
  focused->setFocus();
  focused->selectAll();
}

void TfrmTemplate::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (event->spontaneous()) return;  // restored from the task bar: not a new showing
  if (!centred_) {
    setFixedSize(Fitting_client_size(this, sheet_->size()));
    Centre_on_screen(this);
    centred_ = true;
  }
  FormShow();
}

// Closing the worksheet (its title bar, the window manager's keys) ends the program; while
// the viewer holds results that were not saved it first asks, as Exit does. During a run
// it does nothing (the progress box's Cancel stops the run).
void TfrmTemplate::closeEvent(QCloseEvent* event) {
  if (computing_) {
    event->ignore();
    return;
  }
  if (viewer_ != nullptr && viewer_->Has_unsaved_text() &&
      !tDialogs::Confirm(this, QStringLiteral("Exit from program?"))) {
    event->ignore();
    return;
  }
  event->accept();
  tDialogs::Quit_application();
}

// ---------------------------------------------------------------------------------------
// Input fields

bool TfrmTemplate::eventFilter(QObject* watched, QEvent* event) {
  using tKey_press = bool (TfrmTemplate::*)(QKeyEvent*);
  using tKey_up = void (TfrmTemplate::*)();
  static constexpr tKey_press kKey_press[] = {
      &TfrmTemplate::txtInput1KeyPress, &TfrmTemplate::txtInput2KeyPress,
      &TfrmTemplate::txtInput3KeyPress, &TfrmTemplate::txtInput4KeyPress,
      &TfrmTemplate::txtInput5KeyPress, &TfrmTemplate::txtInput6KeyPress,
      &TfrmTemplate::txtInput7KeyPress, &TfrmTemplate::txtinput8KeyPress};
  static constexpr tKey_up kKey_up[] = {
      &TfrmTemplate::txtInput1KeyUp, &TfrmTemplate::txtInput2KeyUp, &TfrmTemplate::txtInput3KeyUp,
      &TfrmTemplate::txtInput4KeyUp, &TfrmTemplate::txtInput5KeyUp, &TfrmTemplate::txtInput6KeyUp,
      &TfrmTemplate::txtInput7KeyUp, &TfrmTemplate::txtinput8KeyUp};

  if (watched == memoComments) {
    switch (event->type()) {
      case QEvent::FocusIn: memoCommentsEnter(); break;
      case QEvent::FocusOut: memoCommentsExit(); break;
      case QEvent::KeyRelease: memoCommentsKeyUp(static_cast<QKeyEvent*>(event)); break;
      default: break;
    }
    return false;
  }
  for (std::size_t k = 0; k < fields_.size(); ++k) {
    if (watched != fields_[k]) continue;
    switch (event->type()) {
      case QEvent::KeyPress:
        key_field_ = fields_[k];
        return (this->*kKey_press[k])(static_cast<QKeyEvent*>(event));
      case QEvent::KeyRelease:
        if (key_field_ == fields_[k]) (this->*kKey_up[k])();
        return false;
      case QEvent::FocusIn:
        key_field_ = nullptr;
        return false;
      default:
        return Field_other_event(fields_[k], event);
    }
  }
  return QWidget::eventFilter(watched, event);
}

bool TfrmTemplate::txtInput1KeyPress(QKeyEvent* key) { return Field_key_press(txtInput1, key); }
bool TfrmTemplate::txtInput2KeyPress(QKeyEvent* key) { return Field_key_press(txtInput2, key); }
bool TfrmTemplate::txtInput3KeyPress(QKeyEvent* key) { return Field_key_press(txtInput3, key); }
bool TfrmTemplate::txtInput4KeyPress(QKeyEvent* key) { return Field_key_press(txtInput4, key); }
bool TfrmTemplate::txtInput5KeyPress(QKeyEvent* key) { return Field_key_press(txtInput5, key); }
bool TfrmTemplate::txtInput6KeyPress(QKeyEvent* key) { return Field_key_press(txtInput6, key); }
bool TfrmTemplate::txtInput7KeyPress(QKeyEvent* key) { return Field_key_press(txtInput7, key); }
bool TfrmTemplate::txtinput8KeyPress(QKeyEvent* key) { return Field_key_press(txtinput8, key); }
void TfrmTemplate::txtInput1KeyUp() { Field_key_up(txtInput1); }
void TfrmTemplate::txtInput2KeyUp() { Field_key_up(txtInput2); }
void TfrmTemplate::txtInput3KeyUp() { Field_key_up(txtInput3); }
void TfrmTemplate::txtInput4KeyUp() { Field_key_up(txtInput4); }
void TfrmTemplate::txtInput5KeyUp() { Field_key_up(txtInput5); }
void TfrmTemplate::txtInput6KeyUp() { Field_key_up(txtInput6); }
void TfrmTemplate::txtInput7KeyUp() { Field_key_up(txtInput7); }
void TfrmTemplate::txtinput8KeyUp() { Field_key_up(txtinput8); }

// A key that types a character goes through Key_filter. Keys that type nothing (arrows,
// Home, End, Delete, Escape) and the editing shortcuts held with Ctrl (select all, copy,
// cut, undo, redo) edit the field as usual; a paste, by Ctrl+V or Shift+Insert, passes
// the typing rules character by character. Alt and Meta with a letter are menu and window
// keys, never typed text.
bool TfrmTemplate::Field_key_press(QLineEdit* field, QKeyEvent* key) {
  if (key->matches(QKeySequence::Paste)) {
    Insert_into_field(field, QGuiApplication::clipboard()->text(QClipboard::Clipboard));
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
  const char inserted = code < 0x80 ? Key_filter(static_cast<char>(code)) : '\0';
  if (inserted == '\0') {
    tDialogs::Beep();
    tDialogs::Warning(this, Qt_text(kNumeric_only_message));
    return true;
  }
  if (inserted == static_cast<char>(code)) return false;
  field->insert(QString(QLatin1Char(inserted)));
  return true;
}

void TfrmTemplate::Field_key_up(QLineEdit* field) {
  const QString text = field->text();
  if (text.size() <= static_cast<qsizetype>(kMax_field_length)) return;
  tDialogs::Beep();
  tDialogs::Warning(this, Qt_text(kMax_length_message));
  // Text that only a paste could bring in may hold characters beyond ASCII: cut it in
  // characters, not in bytes.
  const bool ascii =
      std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
  field->setText(ascii ? Qt_text(Limit_length(text.toStdString()))
                       : text.left(static_cast<qsizetype>(kMax_field_length)));
  field->selectAll();
}

void TfrmTemplate::Insert_into_field(QLineEdit* field, const QString& text) {
  const tFiltered_text filtered = Filter_inserted(text);
  if (!filtered.Text.isEmpty()) field->insert(filtered.Text);  // over the selection, if any
  const bool too_long = field->text().size() > static_cast<qsizetype>(kMax_field_length);
  if (too_long) {
    field->setText(field->text().left(static_cast<qsizetype>(kMax_field_length)));
    field->selectAll();
  }
  if (!filtered.Refused && !too_long) return;
  tDialogs::Beep();
  tDialogs::Warning(this, Qt_text(filtered.Refused ? kNumeric_only_message : kMax_length_message));
}

bool TfrmTemplate::Field_other_event(QLineEdit* field, QEvent* event) {
  switch (event->type()) {
    // The middle button pastes the primary selection where it is clicked.
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::MiddleButton) return false;
      if (event->type() == QEvent::MouseButtonRelease &&
          field->rect().contains(mouse->position().toPoint())) {
        const QClipboard* clipboard = QGuiApplication::clipboard();
        if (clipboard->supportsSelection()) {
          field->deselect();
          field->setCursorPosition(field->cursorPositionAt(mouse->position().toPoint()));
          Insert_into_field(field, clipboard->text(QClipboard::Selection));
        }
      }
      return true;
    }
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (drag->mimeData()->hasText()) {
        drag->setDropAction(Qt::CopyAction);  // the source keeps its text
        drag->accept();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (!drop->mimeData()->hasText()) {
        drop->ignore();
        return true;
      }
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      field->setFocus(Qt::OtherFocusReason);
      field->deselect();
      field->setCursorPosition(field->cursorPositionAt(drop->position().toPoint()));
      Insert_into_field(field, drop->mimeData()->text());
      return true;
    }
    case QEvent::ContextMenu:
      Field_context_menu(field, static_cast<QContextMenuEvent*>(event)->globalPos());
      return true;
    case QEvent::InputMethod: {
      auto* input = static_cast<QInputMethodEvent*>(event);
      if (!input->commitString().isEmpty()) Insert_into_field(field, input->commitString());
      return true;
    }
    default:
      return false;
  }
}

// The line edit's usual menu, built here so that its Paste goes through the typing rules.
void TfrmTemplate::Field_context_menu(QLineEdit* field, const QPoint& global_position) {
  QMenu menu(field);
  menu.setObjectName(QStringLiteral("mnuField"));
  auto add = [&](const char* name, const QString& text, QKeySequence::StandardKey key,
                 bool enabled, auto&& handler) {
    QString caption = text;
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    if (!shortcut.isEmpty()) caption += QLatin1Char('\t') + shortcut;
    QAction* item = menu.addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setEnabled(enabled);
    connect(item, &QAction::triggered, field, handler);
  };
  const bool selected = field->hasSelectedText();
  add("edit-undo", QStringLiteral("&Undo"), QKeySequence::Undo, field->isUndoAvailable(),
      [field] { field->undo(); });
  add("edit-redo", QStringLiteral("&Redo"), QKeySequence::Redo, field->isRedoAvailable(),
      [field] { field->redo(); });
  menu.addSeparator();
  add("edit-cut", QStringLiteral("Cu&t"), QKeySequence::Cut, selected, [field] { field->cut(); });
  add("edit-copy", QStringLiteral("&Copy"), QKeySequence::Copy, selected,
      [field] { field->copy(); });
  add("edit-paste", QStringLiteral("&Paste"), QKeySequence::Paste,
      !QGuiApplication::clipboard()->text(QClipboard::Clipboard).isEmpty(), [this, field] {
        Insert_into_field(field, QGuiApplication::clipboard()->text(QClipboard::Clipboard));
      });
  add("edit-delete", QStringLiteral("Delete"), QKeySequence::UnknownKey, selected,
      [field] { field->del(); });
  menu.addSeparator();
  add("select-all", QStringLiteral("Select All"), QKeySequence::SelectAll,
      !field->text().isEmpty(), [field] { field->selectAll(); });
  menu.exec(global_position);
}

// ---------------------------------------------------------------------------------------
// The user's notes

void TfrmTemplate::memoCommentsEnter() {
  if (memoComments->document()->blockCount() > 1) {
    memoComments->resize(memoComments->width(), kNotes_grown_height);
  }
}

void TfrmTemplate::memoCommentsKeyUp(QKeyEvent* key) {
  const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
  if (enter || memoComments->document()->blockCount() > 1) {
    memoComments->resize(memoComments->width(), kNotes_grown_height);
  }
}

void TfrmTemplate::memoCommentsExit() {
  memoComments->resize(memoComments->width(), kNotes_height);
}

// The memo holds at most 250 characters: anything beyond is cut off its end.
void TfrmTemplate::memoCommentsChange() {
  QTextDocument* document = memoComments->document();
  if (document->characterCount() - 1 <= kNotes_max_length) return;
  QTextCursor cursor(document);
  cursor.setPosition(kNotes_max_length);
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  cursor.removeSelectedText();
}

// ---------------------------------------------------------------------------------------
// The buttons

// The buttons also do nothing during a run when pressed other than by input events (an
// accessibility tool's press action, say), which the run's input guard does not see.
void TfrmTemplate::cmdComputeClick() {
  if (computing_) return;
  const std::array<std::string, 8> texts = Field_texts();
  const tRun_options options = Run_options();

  const auto checked = Check_inputs(texts, options);
  if (const auto* failure = std::get_if<tInput_error>(&checked)) {
    tDialogs::Warning(this, Qt_text(failure->Message));
    fields_.at(static_cast<std::size_t>(failure->Field))->setFocus();
    return;
  }
  const auto& inputs = std::get<tChecked_inputs>(checked);

  try {
    Save_control_data(Data_file_path(), texts);
  } catch (const std::exception& error) {
    tDialogs::Error(this, Qt_text(error.what()));
    return;
  }

  // The computation runs on a worker thread while this one keeps the windows drawn; the
  // worksheet takes no input meanwhile. Cancel leaves the windows as they were before the
  // run; the control data above are saved all the same.
  std::optional<tRun_results> results;
  try {
    const tBusy_cursor busy;
    txtInput1->setFocus();
    tBackground_view view;
    view.Window = this;
    if (viewer_ != nullptr) view.Also_guarded.push_back(viewer_);
    view.Warning = [this](const std::string& message, QWidget* over) {
      Statistics_warning(message, over);
    };
    computing_ = true;
    results = Run_in_background(
        [&](const tProgress_observer& observer) {
          return Compute_analysis(inputs, options, &observer);
        },
        view);
    computing_ = false;
  } catch (const ECancelled&) {
    computing_ = false;
    return;
  } catch (const std::exception& error) {
    computing_ = false;
    tDialogs::Error(this, Qt_text(error.what()));
    return;
  }

  if (viewer_ == nullptr) return;
  viewer_->show();
  hide();
  viewer_->setWindowTitle(QStringLiteral("Results viewer: ") + Qt_text(Program_title));
  QStringList lines;
  for (const std::string& line :
       Report_lines(*results, Notes_lines(), viewer_->Has_text())) {
    lines << Qt_text(line);
  }
  viewer_->Append_lines(lines);
  viewer_->Set_latest_analysis(*results);
}

void TfrmTemplate::btnclearDataClick() {
  if (computing_) return;
  if (!tDialogs::Confirm(this, QStringLiteral("Clear every field and the User's Notes, and "
                                              "delete the saved control data?"))) {
    return;
  }
  for (QLineEdit* field : fields_) field->clear();
  memoComments->clear();
  try {
    Delete_control_data(Data_file_path());
  } catch (const std::exception& error) {
    tDialogs::Error(this, Qt_text(error.what()));
  }
  txtInput1->setFocus();
}

void TfrmTemplate::ExitBtnClick() {
  if (computing_) return;
  if (tDialogs::Confirm(this, QStringLiteral("Exit from program?"))) tDialogs::Quit_application();
}

void TfrmTemplate::Statistics_warning(const std::string& message, QWidget* over) {
  // The box is answered with the ordinary cursor, then the hourglass comes back.
  QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  tDialogs::Warning(over, Qt_text(message));
  QGuiApplication::restoreOverrideCursor();
}

// ---------------------------------------------------------------------------------------
// Gathering the inputs

std::array<std::string, 8> TfrmTemplate::Field_texts() const {
  std::array<std::string, 8> texts;
  for (std::size_t k = 0; k < fields_.size(); ++k) texts[k] = fields_[k]->text().toStdString();
  return texts;
}

tRun_options TfrmTemplate::Run_options() const {
  tRun_options options;
  options.Criteria = RadioButton2->isChecked() ? tCriteria::Combined : tCriteria::Bayesian;
  options.Tail = radio_one_tail->isChecked() ? tTail::One : tTail::Two;
  options.Prior = Prior_Radio_items->checkedId() == 1 ? tPrior::Standard : tPrior::Calibrated;
  return options;
}

// The notes as lines; a final line break does not start a further, empty line.
std::vector<std::string> TfrmTemplate::Notes_lines() const {
  const QString text = memoComments->toPlainText();
  std::vector<std::string> lines;
  if (text.isEmpty()) return lines;
  QStringList parts = text.split(QLatin1Char('\n'));
  if (parts.size() > 1 && parts.last().isEmpty()) parts.removeLast();
  for (const QString& part : parts) lines.push_back(part.toStdString());
  return lines;
}

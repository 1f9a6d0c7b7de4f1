// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/worksheet_window.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>
#include <exception>
#include <optional>
#include <variant>

#include "app/control_data.h"
#include "app/input_checks.h"
#include "app/report.h"
#include "app/safe_text.h"
#include "distrib/progress.h"
#include "app/analysis_file.h"
#include "gui/analysis_files.h"
#include "gui/background_run.h"
#include "gui/dialogs.h"
#include "gui/notes_memo.h"
#include "gui/numeric_field.h"
#include "gui/results_viewer.h"
#include "gui/screen_fit.h"
#include "gui/toolkit_windows.h"
#include "stats/metrics_papers.h"

namespace {

constexpr int kClient_width = 792;
constexpr int kClient_height = 573;
constexpr int kNotes_height = 25;        // the notes memo, one line high
constexpr int kNotes_grown_height = 70;  // while it is being written in
constexpr int kDescription_scroll_length = 550;  // a longer description gets a scroll bar

QString Qt_text(const std::string& text) { return QString::fromStdString(text); }

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

// The viewer's Exit asks the worksheet's question, which knows the toolkit's windows.
void TfrmTemplate::Set_viewer(TfrmTemplateResults* viewer) {
  viewer_ = viewer;
  if (viewer_ != nullptr) viewer_->Set_exit_question([this] { return Exit_question(this); });
}

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
  tNumeric_field** fields[] = {&txtInput1, &txtInput2, &txtInput3, &txtInput4,
                               &txtInput5, &txtInput6, &txtInput7, &txtinput8};
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
  const char* const field_names[] = {"txtInput1", "txtInput2", "txtInput3", "txtInput4",
                                     "txtInput5", "txtInput6", "txtInput7", "txtinput8"};
  for (int k = 0; k < 8; ++k) {
    QLabel* label = new QLabel(panel);
    label->setObjectName(QStringLiteral("Label%1").arg(k + 1));
    label->setGeometry(280, 124 + 32 * k, 441, 17);
    *labels[k] = labels_[k] = label;

    auto* field = new tNumeric_field(panel);
    field->setObjectName(QString::fromLatin1(field_names[k]));
    field->setGeometry(696, 120 + 32 * k, 56, 24);
    field->setFont(bold);
    field->Fit_six_digits();
    field->On_key_press = [this, k](QKeyEvent* key) { return (this->*kKey_press[k])(key); };
    field->On_key_up = [this, k] { (this->*kKey_up[k])(); };
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
  // Between Clear Data and Exit, in a smaller bold font where the captions need it.
  make_button(cmdSaveAnalysis, "cmdSaveAnalysis", "Save Anal&ysis...", 380, 104,
              &TfrmTemplate::cmdSaveAnalysisClick);
  make_button(cmdOpenAnalysis, "cmdOpenAnalysis", "O&pen Analysis...", 488, 104,
              &TfrmTemplate::cmdOpenAnalysisClick);
  for (QPushButton* button : {cmdSaveAnalysis, cmdOpenAnalysis}) {
    QFont small = bold;
    constexpr int kCaption_room = 96;
    while (small.pixelSize() > 9 &&
           QFontMetrics(small).horizontalAdvance(button->text().remove(QLatin1Char('&'))) > kCaption_room)
      small.setPixelSize(small.pixelSize() - 1);
    button->setFont(small);
  }
}

// The eight fields first, in order, then the buttons, the notes and the options.
void TfrmTemplate::createTabOrder() {
  // clang-format off
  QWidget* order[] = {txtInput1, txtInput2, txtInput3, txtInput4,
                      txtInput5, txtInput6, txtInput7, txtinput8,
                      cmdCompute, btnclearData, cmdSaveAnalysis, cmdOpenAnalysis,
                      ExitBtn, memoComments,
                      RadioButton1, RadioButton2, radio_two_tail, radio_one_tail,
                      Prior_Radio_items->button(0), Prior_Radio_items->button(1)};
  // clang-format on
  for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

// ---------------------------------------------------------------------------------------
// Creating and showing the window

void TfrmTemplate::FormCreate() {
  memoComments->clear();
  for (tNumeric_field* field : fields_) field->clear();
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
  tNumeric_field* focused = txtInput1;
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
  const bool unsaved = (viewer_ != nullptr && viewer_->Has_unsaved_text()) || Toolkit_entries_held(this);
  if (unsaved && !tDialogs::Confirm(this, Exit_question(this))) {
    event->ignore();
    return;
  }
  event->accept();
  tDialogs::Quit_application();
}

// ---------------------------------------------------------------------------------------
// Input fields: their keys through the fields' typing rules (gui/numeric_field.h)

bool TfrmTemplate::txtInput1KeyPress(QKeyEvent* key) { return txtInput1->Type_key(key); }
bool TfrmTemplate::txtInput2KeyPress(QKeyEvent* key) { return txtInput2->Type_key(key); }
bool TfrmTemplate::txtInput3KeyPress(QKeyEvent* key) { return txtInput3->Type_key(key); }
bool TfrmTemplate::txtInput4KeyPress(QKeyEvent* key) { return txtInput4->Type_key(key); }
bool TfrmTemplate::txtInput5KeyPress(QKeyEvent* key) { return txtInput5->Type_key(key); }
bool TfrmTemplate::txtInput6KeyPress(QKeyEvent* key) { return txtInput6->Type_key(key); }
bool TfrmTemplate::txtInput7KeyPress(QKeyEvent* key) { return txtInput7->Type_key(key); }
bool TfrmTemplate::txtinput8KeyPress(QKeyEvent* key) { return txtinput8->Type_key(key); }
void TfrmTemplate::txtInput1KeyUp() { txtInput1->Check_length(); }
void TfrmTemplate::txtInput2KeyUp() { txtInput2->Check_length(); }
void TfrmTemplate::txtInput3KeyUp() { txtInput3->Check_length(); }
void TfrmTemplate::txtInput4KeyUp() { txtInput4->Check_length(); }
void TfrmTemplate::txtInput5KeyUp() { txtInput5->Check_length(); }
void TfrmTemplate::txtInput6KeyUp() { txtInput6->Check_length(); }
void TfrmTemplate::txtInput7KeyUp() { txtInput7->Check_length(); }
void TfrmTemplate::txtinput8KeyUp() { txtinput8->Check_length(); }

// ---------------------------------------------------------------------------------------
// The user's notes

bool TfrmTemplate::eventFilter(QObject* watched, QEvent* event) {
  if (watched == memoComments) {
    switch (event->type()) {
      case QEvent::FocusIn: memoCommentsEnter(); break;
      case QEvent::FocusOut: memoCommentsExit(); break;
      case QEvent::KeyRelease: memoCommentsKeyUp(static_cast<QKeyEvent*>(event)); break;
      default: break;
    }
    return false;
  }
  return QWidget::eventFilter(watched, event);
}

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
void TfrmTemplate::memoCommentsChange() { Limit_notes(memoComments); }

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
    Save_to_data_file(texts);
  } catch (const std::exception& error) {
    tDialogs::Error(this, Qt_text(error.what()));
    return;
  }

  // The computation runs on a worker thread while this one keeps the windows drawn; the
  // worksheet takes no input meanwhile. Cancel leaves the windows as they were before the
  // run; the control data above are saved all the same.
  txtInput1->setFocus();
  tBackground_view view;
  view.Window = this;
  if (viewer_ != nullptr) view.Also_guarded.push_back(viewer_);
  view.Warning = [this](const std::string& message, QWidget* over) {
    Statistics_warning(message, over);
  };
  view.Busy_cursor = true;
  const std::optional<tRun_results> results = Run_shown_in_background(
      [&](const tProgress_observer& observer) {
        return Compute_analysis(inputs, options, &observer);
      },
      view, computing_);
  if (!results) return;

  if (viewer_ == nullptr) return;
  viewer_->show();
  hide();
  viewer_->setWindowTitle(QStringLiteral("Results viewer: ") + Qt_text(Program_title));
  QStringList lines;
  for (const std::string& line :
       Report_lines(*results, Split_notes(memoComments->toPlainText().toStdString()),
                    viewer_->Has_text())) {
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
  for (tNumeric_field* field : fields_) field->clear();
  memoComments->clear();
  iterations_ = tRun_options{}.Iterations;
  try {
    Delete_control_data(Data_file_path());
  } catch (const std::exception& error) {
    tDialogs::Error(this, Qt_text(error.what()));
  }
  txtInput1->setFocus();
}

void TfrmTemplate::ExitBtnClick() {
  if (computing_) return;
  if (tDialogs::Confirm(this, Exit_question(this))) tDialogs::Quit_application();
}

// The worksheet's analysis is the dissociation without covariates; its fields are kept in
// the control-data file as they are, so saving asks no question at the end.
void TfrmTemplate::cmdSaveAnalysisClick() {
  if (computing_) return;
  const tAnalysis_file analysis{Worksheet_request(Field_texts(), Run_options()),
                                memoComments->toPlainText().toStdString()};
  (void)Save_analysis_file(this, analysis);
}

// A file that cannot be opened here (a dissociation with covariates or the unstandardized
// difference test, another analysis, a file that is not one) leaves the worksheet as it was.
void TfrmTemplate::cmdOpenAnalysisClick() {
  if (computing_) return;
  const std::optional<tAnalysis_file> opened = Open_analysis_file(this, tAnalysis_kind::Dissociation);
  if (!opened) return;
  const auto texts = Worksheet_texts_of(opened->Request);
  if (const auto* why = std::get_if<std::string>(&texts)) {
    tDialogs::Warning(this, QStringLiteral("The file cannot be opened in the worksheet: %1")
                                .arg(Qt_text(*why)));
    return;
  }
  for (std::size_t k = 0; k < fields_.size(); ++k)
    fields_[k]->setText(Qt_text(std::get<tWorksheet_texts>(texts)[k]));
  memoComments->setPlainText(Qt_text(opened->Notes));
  const tRun_options& o = opened->Request.Options;
  (o.Criteria == tCriteria::Combined ? RadioButton2 : RadioButton1)->setChecked(true);
  (o.Tail == tTail::One ? radio_one_tail : radio_two_tail)->setChecked(true);
  Prior_Radio_items->button(o.Prior == tPrior::Standard ? 1 : 0)->setChecked(true);
  iterations_ = o.Iterations;
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
  options.Iterations = iterations_;
  return options;
}


// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <deque>

namespace {

struct tScript {
  bool Active = false;
  std::deque<bool> Confirmations;
  std::deque<QString> Save_files;
  std::deque<QString> Open_files;
  std::vector<tDialogs::tShown> Shown;
};

tScript& Script() {
  static tScript script;
  return script;
}

// Records what is shown; true when the dialog is to be skipped (scripted mode).
bool Record(tDialogs::tKind kind, const QString& text) {
  tScript& script = Script();
  if (!script.Active) return false;
  script.Shown.push_back({kind, text});
  return true;
}

// The lines of a paragraph laid out at width: true when some line after the first holds a
// single word of a paragraph of several words.
bool Leaves_lone_word(const QFont& font, const QString& paragraph, int width) {
  if (!paragraph.trimmed().contains(QLatin1Char(' '))) return false;
  QTextLayout layout(paragraph, font);
  QTextOption option;
  option.setWrapMode(QTextOption::WordWrap);
  layout.setTextOption(option);
  layout.beginLayout();
  bool lone = false;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    const QString text = paragraph.mid(line.textStart(), line.textLength()).trimmed();
    if (line.lineNumber() > 0 && !text.isEmpty() && !text.contains(QLatin1Char(' '))) lone = true;
  }
  layout.endLayout();
  return lone;
}

// The width for a box's text: its widest line when that fits in limit; else the widest
// width up to limit at which no paragraph wraps a lone word onto a line of its own.
int Text_width(const QFont& font, const QString& text, int limit) {
  const QFontMetricsF metrics(font);
  const QStringList paragraphs = text.split(QLatin1Char('\n'));
  qreal widest = 0;
  for (const QString& paragraph : paragraphs) widest = std::max(widest, metrics.horizontalAdvance(paragraph));
  const int whole = static_cast<int>(std::ceil(widest)) + 2;
  if (whole <= limit) return whole;
  for (int width = limit; width > limit / 2; width -= 4) {
    if (std::none_of(paragraphs.begin(), paragraphs.end(), [&](const QString& paragraph) {
          return Leaves_lone_word(font, paragraph, width);
        })) {
      return width;
    }
  }
  return limit;
}

}  // namespace

std::unique_ptr<QMessageBox> tDialogs::Message_box(tKind kind, QWidget* parent,
                                                   const QString& text) {
  QMessageBox::Icon icon = QMessageBox::Warning;
  QString title = QStringLiteral("Warning");
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  QMessageBox::StandardButton default_button = QMessageBox::Ok;
  if (kind == tKind::Error) {
    icon = QMessageBox::Critical;
    title = QStringLiteral("Error");
  } else if (kind == tKind::Confirmation) {
    icon = QMessageBox::Question;
    title = QStringLiteral("Confirm");
    buttons = QMessageBox::Yes | QMessageBox::No;
    default_button = QMessageBox::No;
  }
  auto box = std::make_unique<QMessageBox>(icon, title, Display_text(text), buttons, parent);
  box->setDefaultButton(default_button);
  // QMessageBox wraps any text wider than half the screen (at most 500 pixels). The label
  // is given the width its lines need instead, up to what the screen leaves room for
  // beside the icon and the margins.
  if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
    const QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen();
    const int screen_width = screen != nullptr ? screen->availableGeometry().width() : 640;
    constexpr int kIcon_and_margins = 120;
    // Lines wrap at the worksheet's width, as wide as a message needs to be read at once.
    constexpr int kWorksheet_width = 792;
    const int limit =
        std::max(200, std::min(screen_width * 9 / 10, kWorksheet_width) - kIcon_and_margins);
    label->setMinimumWidth(Text_width(label->font(), label->text(), limit));
  }
  return box;
}

QString tDialogs::Display_text(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

void tDialogs::Warning(QWidget* parent, const QString& text) {
  if (Record(tKind::Warning, text)) return;
  Message_box(tKind::Warning, parent, text)->exec();
}

void tDialogs::Error(QWidget* parent, const QString& text) {
  if (Record(tKind::Error, text)) return;
  Message_box(tKind::Error, parent, text)->exec();
}

bool tDialogs::Confirm(QWidget* parent, const QString& text) {
  if (Record(tKind::Confirmation, text)) {
    tScript& script = Script();
    if (script.Confirmations.empty()) return false;
    const bool yes = script.Confirmations.front();
    script.Confirmations.pop_front();
    return yes;
  }
  return Message_box(tKind::Confirmation, parent, text)->exec() == QMessageBox::Yes;
}

QString tDialogs::Save_file_name(QWidget* parent, const QString& file_name, const QString& filter,
                                 const QString& default_suffix, const QString& title) {
  if (Record(tKind::Save_dialog, file_name + QLatin1Char('|') + filter + QLatin1Char('|') + title)) {
    tScript& script = Script();
    if (script.Save_files.empty()) return {};
    QString path = script.Save_files.front();
    script.Save_files.pop_front();
    return path;
  }
  // QFileDialog asks before overwriting an existing file unless told not to; with a
  // default suffix it asks about the name with the suffix added.
  QFileDialog dialog(parent, title, QString(), filter);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.selectFile(file_name);
  if (!default_suffix.isEmpty()) dialog.setDefaultSuffix(default_suffix);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

QString tDialogs::Open_file_name(QWidget* parent, const QString& filter, const QString& title) {
  if (Record(tKind::Open_dialog, QLatin1Char('|') + filter + QLatin1Char('|') + title)) {
    tScript& script = Script();
    if (script.Open_files.empty()) return {};
    QString path = script.Open_files.front();
    script.Open_files.pop_front();
    return path;
  }
  QFileDialog dialog(parent, title, QString(), filter);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

void tDialogs::Beep() {
  if (Record(tKind::Beep, {})) return;
  QApplication::beep();
}

void tDialogs::Quit_application() {
  if (Record(tKind::Quit, {})) return;
  // exit() leaves the event loop directly; quit() would first ask every window to close.
  QCoreApplication::exit(0);
}

void tDialogs::Start_scripted() { Script().Active = true; }

bool tDialogs::Scripted() { return Script().Active; }

void tDialogs::Set_next_confirmation(bool yes) { Script().Confirmations.push_back(yes); }

void tDialogs::Set_next_save_file(const QString& path) { Script().Save_files.push_back(path); }

void tDialogs::Set_next_open_file(const QString& path) { Script().Open_files.push_back(path); }

const std::vector<tDialogs::tShown>& tDialogs::Shown() { return Script().Shown; }

void tDialogs::Clear_shown() {
  tScript& script = Script();
  script.Shown.clear();
  script.Confirmations.clear();
  script.Save_files.clear();
  script.Open_files.clear();
}

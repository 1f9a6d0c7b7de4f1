#include "gui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <deque>

namespace {

struct tScript {
  bool Active = false;
  std::deque<bool> Confirmations;
  std::deque<QString> Save_files;
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

}  // namespace

QString tDialogs::Display_text(const QString& text) {
  QString shown = text;
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

void tDialogs::Warning(QWidget* parent, const QString& text) {
  if (Record(tKind::Warning, text)) return;
  QMessageBox::warning(parent, QStringLiteral("Warning"), Display_text(text), QMessageBox::Ok);
}

void tDialogs::Error(QWidget* parent, const QString& text) {
  if (Record(tKind::Error, text)) return;
  QMessageBox::critical(parent, QStringLiteral("Error"), Display_text(text), QMessageBox::Ok);
}

bool tDialogs::Confirm(QWidget* parent, const QString& text) {
  if (Record(tKind::Confirmation, text)) {
    tScript& script = Script();
    if (script.Confirmations.empty()) return false;
    const bool yes = script.Confirmations.front();
    script.Confirmations.pop_front();
    return yes;
  }
  return QMessageBox::question(parent, QStringLiteral("Confirm"), Display_text(text),
                               QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

QString tDialogs::Save_file_name(QWidget* parent, const QString& file_name, const QString& filter) {
  if (Record(tKind::Save_dialog, file_name + QLatin1Char('|') + filter)) {
    tScript& script = Script();
    if (script.Save_files.empty()) return {};
    QString path = script.Save_files.front();
    script.Save_files.pop_front();
    return path;
  }
  // QFileDialog asks before overwriting an existing file unless told not to.
  return QFileDialog::getSaveFileName(parent, QStringLiteral("Save Output"), file_name, filter);
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

const std::vector<tDialogs::tShown>& tDialogs::Shown() { return Script().Shown; }

void tDialogs::Clear_shown() {
  tScript& script = Script();
  script.Shown.clear();
  script.Confirmations.clear();
  script.Save_files.clear();
}

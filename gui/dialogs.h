// SPDX-License-Identifier: GPL-3.0-or-later
// The one way the windows talk to the user outside their own controls: the modal message
// boxes (a warning with OK, an error with OK, a confirmation with Yes and No), the save-file
// dialog, the beep and the end of the program.
//
// Tests switch it to scripted mode: nothing is shown, each box is recorded with its text,
// confirmations and file dialogs take the answers queued beforehand, and the end of the
// program is recorded instead of done.
#pragma once

#include <QString>
#include <memory>
#include <vector>

class QMessageBox;
class QWidget;

class tDialogs {
 public:
  enum class tKind { Warning, Error, Confirmation, Save_dialog, Open_dialog, Beep, Quit };

  // One thing shown (or done), with the text as the window passed it; a save dialog's
  // or open dialog's text is "file name|filter|title".
  struct tShown {
    tKind Kind;
    QString Text;
  };

  // Modal warning box with one OK button.
  static void Warning(QWidget* parent, const QString& text);
  // Modal error box with one OK button.
  static void Error(QWidget* parent, const QString& text);
  // Modal confirmation box with Yes and No; true on Yes.
  static bool Confirm(QWidget* parent, const QString& text);
  // The save-file dialog, asking before it overwrites a file; the chosen path, or an
  // empty string when the user cancels. A default suffix (without the dot) is added to a
  // name typed without one.
  static QString Save_file_name(QWidget* parent, const QString& file_name, const QString& filter,
                                const QString& default_suffix = {},
                                const QString& title = QStringLiteral("Save Output"));
  // The open-file dialog for an existing file; the chosen path, or an empty string when
  // the user cancels.
  static QString Open_file_name(QWidget* parent, const QString& filter, const QString& title);
  static void Beep();
  // Ends the program (leaves the event loop).
  static void Quit_application();

  // The text of a message as a box shows it: the core's carriage returns become line breaks.
  static QString Display_text(const QString& text);
  // The box that Warning, Error or Confirm shows, not yet shown. Its text is laid out so
  // that each line of the message stays on one line where the screen is wide enough, and
  // no wrapped line holds a lone word.
  static std::unique_ptr<QMessageBox> Message_box(tKind kind, QWidget* parent, const QString& text);

  // --- Scripted mode, for tests -------------------------------------------------------
  static void Start_scripted();
  static bool Scripted();
  // Answers for the next confirmation (default when none is queued: No) and the next save
  // dialog (default: cancel; an empty path also cancels).
  static void Set_next_confirmation(bool yes);
  static void Set_next_save_file(const QString& path);
  // The answer for the next open dialog (default: cancel).
  static void Set_next_open_file(const QString& path);
  // Everything shown since the last Clear_shown, in order.
  static const std::vector<tShown>& Shown();
  static void Clear_shown();
};

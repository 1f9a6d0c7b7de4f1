// SPDX-License-Identifier: GPL-3.0-or-later
// The numeric field on its own, in a window of its own, and as a table's cell editor:
// typed keys, text that arrives other than by typing, the editing shortcuts and the
// maximum length, with the messages the worksheet gives (written out here as the
// program's documents give them, not taken from the core).
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMimeData>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

#include "gui/dialogs.h"
#include "gui/numeric_field.h"
#include "gui_test_support.h"

namespace {

const QString kNumeric = QStringLiteral("INPUT ERROR\r\rEnter numeric data only.");
const QString kLength = QStringLiteral("Maximum length of input is 6 characters.");

}  // namespace

class TestNumericField : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QWidget> window_;
  tNumeric_field* field_ = nullptr;

  void Check_messages(const QString& message) {
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), message.isEmpty() ? 0 : 1);
    QCOMPARE(Count_shown(tDialogs::tKind::Beep), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) QCOMPARE(Last_shown_text(tDialogs::tKind::Warning), message);
  }

 private slots:
  void initTestCase() { tDialogs::Start_scripted(); }

  void init() {
    window_ = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window_.get());
    field_ = new tNumeric_field(window_.get());
    layout->addWidget(field_);
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    field_->setFocus();
    tDialogs::Clear_shown();
  }
  void cleanup() { window_.reset(); }

  // Each refused key beeps and warns once; a comma becomes a point; a seventh character
  // is taken and cut again on its release, with the whole text selected.
  void Typed_keys_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("refused");
    QTest::addColumn<QString>("message");
    QTest::newRow("comma becomes a point") << "1,5" << "1.5" << 0 << QString();
    QTest::newRow("sign, digits and point pass") << "-12.5" << "-12.5" << 0 << QString();
    QTest::newRow("letter is refused") << "a" << "" << 1 << kNumeric;
    QTest::newRow("space is refused") << "1 2" << "12" << 1 << kNumeric;
    QTest::newRow("two letters, two warnings") << "x7y" << "7" << 2 << kNumeric;
    QTest::newRow("non-ASCII letter is refused") << QStringLiteral("1\u00e92") << "12" << 1 << kNumeric;
    QTest::newRow("minus sign U+2212 types a minus") << QStringLiteral("\u22123") << "-3" << 0 << QString();
    QTest::newRow("six characters pass") << "123456" << "123456" << 0 << QString();
    QTest::newRow("seventh is cut on release") << "1234567" << "123456" << 1 << kLength;
  }
  void Typed_keys() {
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, refused);
    QFETCH(QString, message);
    for (const QChar c : typed) {
      if (c.unicode() < 0x80) {
        QTest::keyClick(field_, c.toLatin1());
      } else {  // beyond what QTest can type: the key events a keyboard layout would send
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(field_, &press);
        QApplication::sendEvent(field_, &release);
      }
    }
    QCOMPARE(field_->text(), shown);
    QCOMPARE(Count_shown(tDialogs::tKind::Beep), refused);
    QCOMPARE(Count_shown(tDialogs::tKind::Warning), refused);
    if (refused > 0) QCOMPARE(Last_shown_text(tDialogs::tKind::Warning), message);
    if (message == kLength) QCOMPARE(field_->selectedText(), shown);
  }

  // Text that enters the field other than by typing is taken whole or refused whole, with
  // one message, the field unchanged: "," becomes ".", U+2212 a minus, surrounding white
  // space and line ends (a spreadsheet's copied cell) are dropped, any other refused
  // character or a text too long refuses it all. Ctrl+V pastes as Shift+Insert does.
  void Text_enters_a_field_only_by_the_typing_rules_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("message");  // empty: none
    QTest::newRow("Shift+Insert, comma") << "shift-insert" << "" << "1,5" << "1.5" << QString();
    QTest::newRow("Shift+Insert, letter and too long")
        << "shift-insert" << "" << "1x2345678" << "" << kNumeric;
    QTest::newRow("context menu, letter") << "menu" << "" << "12a3" << "" << kNumeric;
    QTest::newRow("context menu, too long after the text")
        << "menu" << "12" << "99999" << "12" << kLength;
    QTest::newRow("drop, too long") << "drop" << "" << "1234567890" << "" << kLength;
    QTest::newRow("drop, only letters") << "drop" << "7" << "abc" << "7" << kNumeric;
    QTest::newRow("drop, line break") << "drop" << "" << "-2.5\n" << "-2.5" << QString();
    QTest::newRow("middle click, comma") << "middle" << "" << "7,25" << "7.25" << QString();
    QTest::newRow("Ctrl+V, digit") << "ctrl-v" << "1" << "5" << "15" << QString();
    QTest::newRow("Ctrl+V, letter") << "ctrl-v" << "1" << "5a" << "1" << kNumeric;
    QTest::newRow("Ctrl+V, spreadsheet cell") << "ctrl-v" << "" << "15\n" << "15" << QString();
    QTest::newRow("Ctrl+V, spaces round") << "ctrl-v" << "" << " 15 " << "15" << QString();
    QTest::newRow("Ctrl+V, inner space") << "ctrl-v" << "" << "1 5" << "" << kNumeric;
    QTest::newRow("Ctrl+V, two cells") << "ctrl-v" << "" << "0.6\t1" << "" << kNumeric;
    QTest::newRow("Ctrl+V, minus sign U+2212")
        << "ctrl-v" << "" << QStringLiteral("\u22120.5") << "-0.5" << QString();
    QTest::newRow("input method commit, letter") << "commit" << "3" << "4b" << "3" << kNumeric;
  }
  void Text_enters_a_field_only_by_the_typing_rules() {
    QFETCH(QString, path);
    QFETCH(QString, before);
    QFETCH(QString, inserted);
    QFETCH(QString, after);
    QFETCH(QString, message);
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (path == QLatin1String("middle") && !clipboard->supportsSelection()) {
      QSKIP("this platform has no primary selection to paste with the middle button");
    }
    field_->setText(before);
    field_->end(false);
    const QPoint end_of_text(field_->width() - 4, field_->height() / 2);
    if (path == QLatin1String("shift-insert")) {
      clipboard->setText(inserted);
      QTest::keyClick(field_, Qt::Key_Insert, Qt::ShiftModifier);
    } else if (path == QLatin1String("ctrl-v")) {
      clipboard->setText(inserted);
      QTest::keyClick(field_, Qt::Key_V, Qt::ControlModifier);
    } else if (path == QLatin1String("menu")) {
      clipboard->setText(inserted);
      bool pasted = false;
      QTimer::singleShot(0, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr) return;
        for (QAction* item : menu->actions()) {
          if (item->objectName() == QLatin1String("edit-paste") && item->isEnabled()) {
            item->trigger();
            pasted = true;
          }
        }
        menu->close();
      });
      QContextMenuEvent event(QContextMenuEvent::Mouse, end_of_text,
                              field_->mapToGlobal(end_of_text));
      QApplication::sendEvent(field_, &event);
      QVERIFY2(pasted, "the field's menu offered no Paste");
    } else if (path == QLatin1String("drop")) {
      QMimeData data;
      data.setText(inserted);
      QDragEnterEvent enter(end_of_text, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton,
                            Qt::NoModifier);
      QApplication::sendEvent(field_, &enter);
      QVERIFY(enter.isAccepted());
      QDropEvent drop(QPointF(end_of_text), Qt::CopyAction | Qt::MoveAction, &data,
                      Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(field_, &drop);
      QCOMPARE(drop.dropAction(), Qt::CopyAction);  // the source keeps its text
    } else if (path == QLatin1String("middle")) {
      clipboard->setText(inserted, QClipboard::Selection);
      QTest::mouseClick(field_, Qt::MiddleButton, Qt::NoModifier, end_of_text);
    } else if (path == QLatin1String("commit")) {
      QInputMethodEvent commit;
      commit.setCommitString(inserted);
      QApplication::sendEvent(field_, &commit);
    }
    QCOMPARE(field_->text(), after);
    Check_messages(message);
    // No release of a key pressed elsewhere brings a second box: Enter released in the
    // field, as when a box was closed with Enter.
    QTest::keyRelease(field_, Qt::Key_Return);
    Check_messages(message);
  }

  // The editing shortcuts act on the field as in any line edit, with no message; keys are
  // pressed in order ("type:" types text, anything else is a key sequence).
  void Editing_shortcuts_work_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("after");
    QTest::addColumn<QString>("copied");  // the clipboard afterwards
    QTest::newRow("Ctrl+A, then a digit replaces")
        << "123" << "" << QStringList{"Ctrl+A", "type:4"} << "4" << "";
    QTest::newRow("Ctrl+C copies") << "123" << "" << QStringList{"Ctrl+A", "Ctrl+C"} << "123"
                                   << "123";
    QTest::newRow("Ctrl+X cuts") << "-2.5" << "" << QStringList{"Ctrl+A", "Ctrl+X"} << ""
                                 << "-2.5";
    QTest::newRow("Ctrl+Z undoes a paste")
        << "7" << "12" << QStringList{"Ctrl+V", "Ctrl+Z"} << "7" << "12";
    QTest::newRow("Escape keeps the text") << "12" << "" << QStringList{"Esc"} << "12" << "";
    QTest::newRow("Alt with a letter types nothing")
        << "12" << "" << QStringList{"Alt+Q"} << "12" << "";
    QTest::newRow("Left, Backspace and Delete edit")
        << "123" << "" << QStringList{"Left", "Backspace", "Del"} << "1" << "";
  }
  void Editing_shortcuts_work() {
    QFETCH(QString, before);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, keys);
    QFETCH(QString, after);
    QFETCH(QString, copied);
    QGuiApplication::clipboard()->setText(clipboard);
    field_->setText(before);
    field_->end(false);
    for (const QString& key : keys) {
      if (key.startsWith(QStringLiteral("type:"))) QTest::keyClicks(field_, key.mid(5));
      else QTest::keySequence(field_, QKeySequence(key));
    }
    QCOMPARE(field_->text(), after);
    QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    QVERIFY2(tDialogs::Shown().empty(), qPrintable(Last_shown_text(tDialogs::tKind::Warning)));
  }

  // A window's own handlers take the field's keys when set; the field applies no rule of
  // its own then (the worksheet's handlers call the rules themselves).
  void Window_handlers_take_the_keys() {
    int pressed = 0, released = 0;
    field_->On_key_press = [&](QKeyEvent*) { ++pressed; return false; };
    field_->On_key_up = [&] { ++released; };
    QTest::keyClicks(field_, QStringLiteral("a1234567"));
    QCOMPARE(field_->text(), QStringLiteral("a1234567"));
    QCOMPARE(pressed, 8);
    QCOMPARE(released, 8);
    QVERIFY(tDialogs::Shown().empty());
  }

  // As a table's cell editor the field brings its rules into the cell, and the cell takes
  // the text when the editor closes.
  void Cell_editor_follows_the_typing_rules() {
    QTableWidget table(1, 1);
    table.setItemDelegate(new tNumeric_delegate(&table));
    table.setItem(0, 0, new QTableWidgetItem);
    table.show();
    QVERIFY(QTest::qWaitForWindowExposed(&table));
    table.setCurrentCell(0, 0);
    table.editItem(table.item(0, 0));
    auto* editor = table.findChild<tNumeric_field*>();
    QVERIFY(editor != nullptr);
    QTest::keyClicks(editor, QStringLiteral("2,x5"));
    QCOMPARE(editor->text(), QStringLiteral("2.5"));
    Check_messages(kNumeric);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(table.item(0, 0)->text(), QStringLiteral("2.5"));  // committed from the queue
  }
};

QTEST_MAIN(TestNumericField)
#include "test_gui_numeric_field.moc"

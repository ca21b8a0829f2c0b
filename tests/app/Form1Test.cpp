// The main window built offscreen: start-up from the settings store, the
// options panel's events, the hover pointer, the optional look files and the
// start-up host check.
#include "app/shell/ErrorReport.h"
#include "app/Form1.h"
#include "app/ReportListModel.h"
#include "batch/IsInstalled.h"
#include "support/CursorFiles.h"
#include "support/HostFactories.h"
#include "filelist/FileListFixtures.h"
#include "support/ScriptedMessages.h"
#include "support/TempSettings.h"
#include "support/WidgetApp.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeView>
#include <gtest/gtest.h>
#include <unistd.h>

using namespace tabulory;
using namespace tabulory::testing;

namespace {

// A store that fails to read one key and passes everything else on.
class FailingReadStore : public SettingsStore {
 public:
  FailingReadStore(SettingsStore& inner, QString failingKey)
      : inner_(inner), failingKey_(std::move(failingKey)) {}
  QString Read(const QString& key, const QString& fallback) const override {
    if (key == failingKey_) throw ProcedureError(QStringLiteral("Settings cannot be read"));
    return inner_.Read(key, fallback);
  }
  void Write(const QString& key, const QString& text) override { inner_.Write(key, text); }

 private:
  SettingsStore& inner_;
  QString failingKey_;
};

void MoveMouseOver(QWidget* widget) {
  QMouseEvent move(QEvent::MouseMove, QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(widget, &move);
}

void LeaveBox(QLineEdit* box, Qt::FocusReason reason = Qt::TabFocusReason) {
  QFocusEvent out(QEvent::FocusOut, reason);
  QApplication::sendEvent(box, &out);
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureApplication();
    ASSERT_TRUE(folder.isValid());
  }

  std::unique_ptr<Form1> Make(SettingsStore& store, HostFactory& factory) {
    auto form = std::make_unique<Form1>(messages, store, factory, folder.path());
    form->hooks().endProgram = [this] { ++endCalls; };
    return form;
  }
  std::unique_ptr<Form1> Load() {
    auto form = Make(settings.store(), hosts);
    form->Form_Load();
    return form;
  }
  QString Stored(const QString& key) { return settings.Reopen()->Read(key, "<none>"); }
  QString ProgramFile(const QString& relative) { return folder.filePath(relative); }

  ScriptedMessages messages;
  TempSettings settings;
  QTemporaryDir folder;
  WorkingHostFactory hosts;
  int endCalls = 0;
};

}  // namespace

TEST_F(WindowTest, FirstStartShowsDefaults) {
  int recordCalls = 0;
  auto form = Make(settings.store(), hosts);
  form->hooks().recordSampleFiles = [&] {
    ++recordCalls;
    settings.store().Write("Snapshot", "recorded");
  };
  form->Form_Load();

  EXPECT_TRUE(messages.shown.empty()) << messages.Texts().join("\n").toStdString();
  EXPECT_EQ(recordCalls, 1);
  EXPECT_EQ(hosts.calls, 1);
  EXPECT_EQ(endCalls, 0);
  EXPECT_FALSE(form->ProgramEnded());

  EXPECT_TRUE(form->Option1()->isChecked());
  EXPECT_FALSE(form->Frame4()->isHidden());
  EXPECT_TRUE(form->ListView2()->isHidden());
  EXPECT_TRUE(form->Option3()->isChecked());
  EXPECT_EQ(form->Combo2()->currentIndex(), 0);
  EXPECT_EQ(form->Combo2()->currentText(), "equals");
  EXPECT_EQ(form->Combo2()->count(), 4);
  EXPECT_EQ(form->Combo2()->itemText(3), "is blank");
  EXPECT_EQ(form->Text2()->text(), "A");
  EXPECT_EQ(form->Text1()->text(), "");

  EXPECT_EQ(form->windowTitle(), "Tabulory");
  EXPECT_FALSE(form->windowIcon().isNull());
  EXPECT_EQ(messages.ShortTitle(), "Tabulory");
  EXPECT_EQ(form->ListView1Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole), "Excel File(s)");
  EXPECT_EQ(form->ListView1()->header()->sectionSize(0), 467);  // 7000 twips
  EXPECT_EQ(form->ListView2Model()->headerData(0, Qt::Horizontal, Qt::DisplayRole), "Sort");
  EXPECT_EQ(form->ListView2()->header()->sectionSize(0), 433);  // 6500 twips
  EXPECT_EQ(form->ListView1Model()->Count(), 0);

  // Restored values pass through the change handling and are written back.
  EXPECT_EQ(Stored("Option"), "1");
  EXPECT_EQ(Stored("Type"), "1");
  EXPECT_EQ(Stored("NewCombo2"), "0");
  EXPECT_EQ(Stored("Column"), "A");

  const ProcessingOptions o = form->Read();
  EXPECT_EQ(o.operation, Operation::Filter);
  EXPECT_EQ(o.scope, Scope::EntireWorkbook);
  EXPECT_EQ(o.sortColumn, 1);  // the first entry is selected initially
  EXPECT_EQ(o.filterColumn, "A");
  EXPECT_EQ(o.criterion, kEquals);
  EXPECT_EQ(o.value, "");
}

TEST_F(WindowTest, SampleRecordIsTriedTwiceWhileEmptyAndNotAtAllWhenStored) {
  int calls = 0;
  auto form = Make(settings.store(), hosts);
  form->hooks().recordSampleFiles = [&] { ++calls; };  // records nothing
  form->Form_Load();
  EXPECT_EQ(calls, 2);

  settings.store().Write("Snapshot", "kept");
  calls = 0;
  auto again = Make(settings.store(), hosts);
  again->hooks().recordSampleFiles = [&] { ++calls; };
  again->Form_Load();
  EXPECT_EQ(calls, 0);
}

TEST_F(WindowTest, StoredChoicesComeBack) {
  settings.store().Write("Option", "2");
  settings.store().Write("Type", "2");
  settings.store().Write("NewCombo2", "3");
  settings.store().Write("Column", "x1y");  // names no column: shown unchanged
  settings.store().Write("Value", "  some value ");
  auto form = Load();
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(form->Option2()->isChecked());
  EXPECT_TRUE(form->Frame4()->isHidden());
  EXPECT_FALSE(form->ListView2()->isHidden());
  EXPECT_TRUE(form->Option4()->isChecked());
  EXPECT_EQ(form->Combo2()->currentText(), "is blank");
  EXPECT_EQ(form->Text2()->text(), "x1y");
  EXPECT_EQ(form->Text1()->text(), "  some value ");
  EXPECT_EQ(Stored("Column"), "x1y");

  ASSERT_EQ(form->ListView2Model()->Count(), 256);
  EXPECT_EQ(form->ListView2Model()->Text(0), "A");
  EXPECT_EQ(form->ListView2Model()->Text(27), "AB");
  EXPECT_EQ(form->ListView2Model()->Text(255), "IV");
  EXPECT_EQ(form->Read().operation, Operation::Sort);
  EXPECT_EQ(form->Read().scope, Scope::ActiveSheet);

  settings.store().Write("Type", "3");
  auto third = Load();
  EXPECT_TRUE(third->Option5()->isChecked());
  EXPECT_EQ(third->ChosenScope(), Scope::BlockOfCells);
}

TEST_F(WindowTest, GarbageSettingsFileGivesDefaults) {
  {
    QFile file(settings.filePath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x00\x01garbage\n[Tabulory\nOption\n=\xff\xfe\n[[[\n");
  }
  auto store = settings.Reopen();
  auto form = Make(*store, hosts);
  form->Form_Load();
  EXPECT_TRUE(messages.shown.empty()) << messages.Texts().join("\n").toStdString();
  EXPECT_TRUE(form->Option1()->isChecked());
  EXPECT_TRUE(form->Option3()->isChecked());
  EXPECT_EQ(form->Combo2()->currentIndex(), 0);
  EXPECT_EQ(form->Text2()->text(), "A");
  EXPECT_EQ(form->Text1()->text(), "");
}

TEST_F(WindowTest, OperationOtherThanOneMeansSort) {
  for (const char* stored : {"abc", "0", "2", ""}) {
    settings.store().Write("Option", stored);
    auto form = Load();
    EXPECT_TRUE(form->Option2()->isChecked()) << stored;
    EXPECT_FALSE(form->ListView2()->isHidden()) << stored;
    EXPECT_TRUE(form->Frame4()->isHidden()) << stored;
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, ScopeOutsideOneToThreeChangesNothing) {
  settings.store().Write("Type", "4");
  auto form = Load();
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(form->Option5()->isChecked());  // the designer's choice stays
  EXPECT_FALSE(form->Option3()->isChecked());
  EXPECT_FALSE(form->Option4()->isChecked());
  EXPECT_EQ(Stored("Type"), "4");  // nothing was chosen, so nothing written
}

TEST_F(WindowTest, CriterionThatIsNoNumberIsReportedOnceAt168) {
  settings.store().Write("NewCombo2", "x");
  auto form = Load();
  ASSERT_EQ(messages.shown.size(), 1u);
  const ShownMessage& report = messages.shown[0];
  EXPECT_EQ(report.caption, "Application Error");
  EXPECT_EQ(report.icon, MessageIcon::Warning);
  EXPECT_EQ(report.buttons, MessageButtons::Ok);
  EXPECT_TRUE(report.text.contains("\r\nin Tabulorix2021/08/31.Form1.Form_Load at line 168\r\r"
                                   "Please email screenshot of this message to "))
      << report.text.toStdString();
  EXPECT_EQ(form->Combo2()->currentIndex(), -1);  // stays unselected
  EXPECT_EQ(form->ChosenCriterion(), -1);
  // The steps after 168 still ran.
  EXPECT_EQ(form->Text2()->text(), "A");
  EXPECT_EQ(form->ListView2Model()->Count(), 256);
  EXPECT_EQ(hosts.calls, 1);
  EXPECT_EQ(Stored("NewCombo2"), "x");
}

TEST_F(WindowTest, CriterionOutsideTheListIsReportedAt168) {
  settings.store().Write("NewCombo2", "4");
  auto form = Load();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.shown[0].text.contains("at line 168\r\r"));
  EXPECT_EQ(form->Combo2()->currentIndex(), -1);
}

TEST_F(WindowTest, FailingReadOfTheOperationRunsTheFilterBranch) {
  FailingReadStore store(settings.store(), "Option");
  auto form = Make(store, hosts);
  form->Form_Load();
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.shown[0].text.startsWith("Settings cannot be read\r\n"));
  EXPECT_TRUE(messages.shown[0].text.contains("Form_Load at line 134\r\r"));
  EXPECT_TRUE(form->Option1()->isChecked());
  EXPECT_FALSE(form->Frame4()->isHidden());
  EXPECT_TRUE(form->ListView2()->isHidden());
}

TEST_F(WindowTest, TwoFailingStatementsGiveTwoReportsInOrder) {
  ASSERT_TRUE(WriteFile(ProgramFile("HAND-M.CUR"), CursorFileBytes(3, 4)));
  settings.store().Write("NewCombo2", "x");
  auto form = Make(settings.store(), hosts);
  form->hooks().pathExists = [](const QString&) -> bool {
    throw ProcedureError(QStringLiteral("Path not found"));
  };
  form->Form_Load();
  ASSERT_EQ(messages.shown.size(), 2u);
  EXPECT_TRUE(messages.shown[0].text.startsWith("Path not found\r\n"));
  EXPECT_TRUE(messages.shown[0].text.contains("at line 102\r\r"));
  EXPECT_TRUE(messages.shown[1].text.contains("at line 168\r\r"));
  // The failed test of 102 ran its then-branch: the cursor was loaded.
  EXPECT_TRUE(form->HasCustomPointerPicture());
}

TEST_F(WindowTest, FailingHostFactoryShowsTheMessageAndEndsTheProgram) {
  FailingHostFactory failing;
  auto form = Make(settings.store(), failing);
  form->Form_Load();
  EXPECT_EQ(failing.calls, 1);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_EQ(messages.shown[0].text, HostUnavailableText());
  EXPECT_EQ(messages.shown[0].caption, "Tabulory");  // no caption of its own
  EXPECT_EQ(messages.shown[0].buttons, MessageButtons::Ok);
  EXPECT_EQ(endCalls, 1);
  EXPECT_TRUE(form->ProgramEnded());
}

TEST_F(WindowTest, ThrowingHostFactoryCountsAsNoInstance) {
  ThrowingHostFactory throwing;
  auto form = Make(settings.store(), throwing);
  form->Form_Load();
  EXPECT_EQ(messages.Texts(), QStringList{HostUnavailableText()});
  EXPECT_EQ(endCalls, 1);
}

TEST(HostCheck, MessageIsFiveParagraphsWithDoubleLineBreaks) {
  const QStringList paragraphs = HostUnavailableText().split("\r\n\r\n");
  ASSERT_EQ(paragraphs.size(), 5);
  EXPECT_EQ(paragraphs[0], "Error 842001. A normal instance of Excel could not be created.");
  EXPECT_EQ(paragraphs[1], "1. Please make sure Excel is installed on this computer.");
  EXPECT_TRUE(paragraphs[2].startsWith("2. Please open Excel normally"));
  EXPECT_TRUE(paragraphs[3].endsWith("Excel opens normally without any interrupting messages."));
  EXPECT_EQ(paragraphs[4], "4. All versions of Excel are supported by this software except for "
                           "the rare Excel Starter and Student editions.");
  ScriptedMessages messages;
  WorkingHostFactory working;
  EXPECT_TRUE(CheckHostAvailable(working, messages));
  EXPECT_EQ(working.calls, 1);
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, ClosingTheWindowEndsTheProgram) {
  auto form = Load();
  form->show();
  EXPECT_TRUE(form->close());
  EXPECT_EQ(endCalls, 1);
  EXPECT_TRUE(form->ProgramEnded());
}

TEST_F(WindowTest, OptionClicksAreStoredAndSwitchThePanel) {
  auto form = Load();
  form->Text2()->setText("C");
  form->Option2()->click();
  EXPECT_EQ(Stored("Option"), "2");
  EXPECT_TRUE(form->Frame4()->isHidden());
  EXPECT_FALSE(form->ListView2()->isHidden());
  form->Option1()->click();
  EXPECT_EQ(Stored("Option"), "1");
  EXPECT_FALSE(form->Frame4()->isHidden());
  EXPECT_TRUE(form->ListView2()->isHidden());
  EXPECT_EQ(form->Text2()->text(), "C");  // kept while hidden

  form->Option4()->click();
  EXPECT_EQ(Stored("Type"), "2");
  form->Option5()->click();
  EXPECT_EQ(Stored("Type"), "3");
  form->Option3()->click();
  EXPECT_EQ(Stored("Type"), "1");

  form->Combo2()->setCurrentIndex(kIsBlank);
  EXPECT_EQ(Stored("NewCombo2"), "3");
  EXPECT_TRUE(form->Text1()->isEnabled());  // the value box stays usable
  form->Text1()->setText("a");
  EXPECT_EQ(Stored("Value"), "a");
  form->Text1()->setText("ab");
  EXPECT_EQ(Stored("Value"), "ab");
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, SortColumnIsThePickedEntryAndIsNotStored) {
  settings.store().Write("Option", "2");
  auto form = Load();
  EXPECT_EQ(form->SortColumn(), 1);
  form->ListView2()->setCurrentIndex(form->ListView2Model()->index(27, 0));
  EXPECT_EQ(form->SortColumn(), 28);
  form->ListView2()->selectionModel()->clearSelection();
  EXPECT_EQ(form->SortColumn(), 0);
  auto again = Load();
  EXPECT_EQ(again->SortColumn(), 1);
}

TEST_F(WindowTest, LeavingTheColumnBoxNormalisesAndStores) {
  auto form = Load();
  QLineEdit* box = form->Text2();

  box->setText("b");
  LeaveBox(box);
  EXPECT_EQ(box->text(), "B");
  EXPECT_EQ(Stored("Column"), "B");

  box->setText("28");
  LeaveBox(box);
  EXPECT_EQ(box->text(), "AB");
  EXPECT_EQ(Stored("Column"), "AB");

  box->setText("iv");
  LeaveBox(box);
  EXPECT_EQ(box->text(), "IV");
  EXPECT_TRUE(messages.shown.empty());

  box->setText("300");
  LeaveBox(box);
  EXPECT_EQ(messages.Texts(), QStringList{"Number is higher than number of columns."});
  EXPECT_EQ(box->text(), "");
  EXPECT_EQ(Stored("Column"), "");
}

TEST_F(WindowTest, InvalidColumnKeepsTextAndTakesTheFocusBack) {
  auto form = Load();
  for (const char* typed : {"IW", ""}) {
    messages.shown.clear();
    form->Text1()->setFocus();
    form->Text2()->setText(typed);
    LeaveBox(form->Text2());
    EXPECT_EQ(messages.Texts(), QStringList{"Invalid column entry."}) << typed;
    EXPECT_EQ(messages.shown[0].caption, "Tabulory");
    EXPECT_EQ(form->Text2()->text(), typed);
    EXPECT_EQ(Stored("Column"), typed);  // stored as typed
    EXPECT_EQ(form->focusWidget(), form->Text2());
  }
}

TEST_F(WindowTest, AnotherWindowTakingOverIsNoLeavingOfTheBox) {
  auto form = Load();
  form->Text2()->setText("b");
  LeaveBox(form->Text2(), Qt::ActiveWindowFocusReason);
  LeaveBox(form->Text2(), Qt::PopupFocusReason);
  EXPECT_EQ(form->Text2()->text(), "b");
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, HoverPointerFollowsButtonsAndBackground) {
  auto form = Load();
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
  MoveMouseOver(form->PushButton1());
  EXPECT_EQ(form->Pointer(), MousePointer::Custom);
  MoveMouseOver(form->ListView1()->viewport());  // the file list resets it too
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
  MoveMouseOver(form->PushButton1());
  MoveMouseOver(form->Frame1());
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
  MoveMouseOver(form->PushButton7());
  MoveMouseOver(form->Option4());
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
  MoveMouseOver(form->PushButton2());
  MoveMouseOver(form.get());
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
  MoveMouseOver(form->PushButton3());
  MoveMouseOver(form->ListView2()->viewport());
  EXPECT_EQ(form->Pointer(), MousePointer::Default);
  MoveMouseOver(form->PushButton5());
  MoveMouseOver(form->Label1());  // no procedure, and no pass-on to the frame
  EXPECT_EQ(form->Pointer(), MousePointer::Custom);
  // Without HAND-M.CUR the custom pointer shows as the arrow.
  EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
}

TEST_F(WindowTest, HourglassIsNeverChangedByHovering) {
  auto form = Load();
  form->SetPointer(MousePointer::Hourglass);
  EXPECT_EQ(form->cursor().shape(), Qt::WaitCursor);
  EXPECT_TRUE(form->IsBusy());
  for (QWidget* w : std::initializer_list<QWidget*>{
           form->PushButton1(), form->PushButton2(), form->Frame1(), form->Frame2(),
           form->Frame4(), form->Option1(), form->Option5(), form->ListView2()->viewport(),
           form.get()})
    MoveMouseOver(w);
  EXPECT_EQ(form->Pointer(), MousePointer::Hourglass);
  EXPECT_EQ(form->cursor().shape(), Qt::WaitCursor);
  form->SetPointer(MousePointer::Default);
  EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
}

TEST(HoverRule, PointerAfterHover) {
  EXPECT_EQ(PointerAfterHover(MousePointer::Default, HoverPlace::PushButton), MousePointer::Custom);
  EXPECT_EQ(PointerAfterHover(MousePointer::Custom, HoverPlace::Background), MousePointer::Default);
  EXPECT_EQ(PointerAfterHover(MousePointer::Hourglass, HoverPlace::PushButton),
            MousePointer::Hourglass);
  EXPECT_EQ(PointerAfterHover(MousePointer::Hourglass, HoverPlace::Background),
            MousePointer::Hourglass);
}

TEST_F(WindowTest, CursorFileGivesTheHandOverButtons) {
  ASSERT_TRUE(WriteFile(ProgramFile("HAND-M.CUR"), CursorFileBytes(5, 7, Qt::red)));
  auto form = Load();
  EXPECT_TRUE(messages.shown.empty());
  ASSERT_TRUE(form->HasCustomPointerPicture());
  MoveMouseOver(form->PushButton1());
  const QCursor shown = form->cursor();
  EXPECT_EQ(shown.shape(), Qt::BitmapCursor);
  EXPECT_EQ(shown.hotSpot(), QPoint(5, 7));
  EXPECT_EQ(shown.pixmap().toImage().pixelColor(16, 16), QColor(Qt::red));
}

TEST_F(WindowTest, MissingOrBrokenCursorFileIsNoError) {
  {
    auto form = Load();
    EXPECT_FALSE(form->HasCustomPointerPicture());
  }
  ASSERT_TRUE(WriteFile(ProgramFile("HAND-M.CUR"), QByteArray("not a cursor at all")));
  {
    auto form = Load();
    EXPECT_FALSE(form->HasCustomPointerPicture());
  }
  QByteArray cut = CursorFileBytes(1, 1).left(60);  // header, then the picture breaks off
  ASSERT_TRUE(WriteFile(ProgramFile("HAND-M.CUR"), cut));
  {
    auto form = Load();
    EXPECT_FALSE(form->HasCustomPointerPicture());
    MoveMouseOver(form->PushButton1());
    EXPECT_EQ(form->cursor().shape(), Qt::ArrowCursor);
  }
  ASSERT_TRUE(QFile::remove(ProgramFile("HAND-M.CUR")));
  ASSERT_TRUE(QDir(folder.path()).mkpath("HAND-M.CUR"));  // exists, but cannot be read as a file
  {
    auto form = Load();
    EXPECT_FALSE(form->HasCustomPointerPicture());
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, SkinFileIsAppliedAfterTheColourChange) {
  ASSERT_TRUE(QDir(folder.path()).mkpath("x"));
  const QString sheet = "QPushButton { color: rgb(200, 0, 0); }";
  ASSERT_TRUE(WriteFile(ProgramFile("x/o.cjs"), sheet.toUtf8()));
  auto form = Load();
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_TRUE(form->SkinApplied());
  EXPECT_EQ(form->styleSheet(), sheet);
  const QColor face = QApplication::palette().color(QPalette::Button);
  EXPECT_EQ(form->palette().color(QPalette::Window), face);
  EXPECT_EQ(form->Frame1()->palette().color(QPalette::Window), face);
  EXPECT_EQ(form->Option3()->palette().color(form->Option3()->backgroundRole()), face);
  EXPECT_EQ(form->Label1()->palette().color(QPalette::Window), face);
}

TEST_F(WindowTest, MissingInvalidOrUnreadableSkinKeepsTheWhiteDesign) {
  auto expectWhite = [&](const char* what) {
    auto form = Load();
    EXPECT_FALSE(form->SkinApplied()) << what;
    EXPECT_EQ(form->styleSheet(), "") << what;
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(Qt::white)) << what;
    EXPECT_EQ(form->Frame2()->palette().color(QPalette::Window), QColor(Qt::white)) << what;
    EXPECT_EQ(form->Option4()->palette().color(form->Option4()->backgroundRole()), QColor(Qt::white))
        << what;
  };
  expectWhite("missing");
  ASSERT_TRUE(QDir(folder.path()).mkpath("x"));
  ASSERT_TRUE(WriteFile(ProgramFile("x/o.cjs"), "QPushButton { color: red; ]]]} {{{"));
  expectWhite("invalid sheet");
  ASSERT_TRUE(WriteFile(ProgramFile("x/o.cjs"), QByteArray("\xff\xfe\x00\x01 binary", 11)));
  expectWhite("not text");
  ASSERT_TRUE(QFile::remove(ProgramFile("x/o.cjs")));
  ASSERT_TRUE(QDir(folder.path()).mkpath("x/o.cjs"));  // a folder, not a readable file
  expectWhite("unreadable");
  if (geteuid() != 0) {  // permissions do not stop the superuser
    ASSERT_TRUE(QDir(ProgramFile("x/o.cjs")).removeRecursively());
    ASSERT_TRUE(WriteFile(ProgramFile("x/o.cjs"), "QPushButton { color: red; }"));
    ASSERT_TRUE(QFile::setPermissions(ProgramFile("x/o.cjs"), QFileDevice::Permissions()));
    expectWhite("no read permission");
  }
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(WindowTest, ALargerWindowGivesTheRoomToTheFileList) {
  auto form = Load();
  form->show();
  EXPECT_EQ(form->minimumSize(), QSize(536, 490));  // never smaller than the design
  form->resize(700, 600);                            // 164 wider, 110 taller
  QCoreApplication::processEvents();
  EXPECT_EQ(form->ListView1()->geometry(), QRect(8, 8, 684, 279));
  EXPECT_EQ(form->PushButton1()->geometry(), QRect(8, 293, 338, 27));
  EXPECT_EQ(form->PushButton5()->geometry(), QRect(354, 293, 338, 27));
  EXPECT_EQ(form->Frame2()->geometry(), QRect(8, 509, 684, 49));
  EXPECT_EQ(form->PushButton2()->geometry(), QRect(8, 566, 684, 27));
  EXPECT_EQ(form->Option3()->geometry(), QRect(288, 20, 124, 17));  // inside its frame as before
}

TEST_F(WindowTest, LayoutFontsAndTabOrder) {
  auto form = Load();
  EXPECT_EQ(form->size(), QSize(536, 490));  // 8040 x 7350 twips
  EXPECT_EQ(form->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(form->ListView1()->geometry(), QRect(8, 8, 520, 169));
  EXPECT_EQ(form->PushButton1()->geometry(), QRect(8, 183, 256, 27));
  EXPECT_EQ(form->PushButton5()->geometry(), QRect(272, 183, 256, 27));
  EXPECT_EQ(form->PushButton7()->geometry(), QRect(8, 217, 256, 27));
  EXPECT_EQ(form->PushButton3()->geometry(), QRect(272, 217, 256, 27));
  EXPECT_EQ(form->Frame1()->geometry(), QRect(8, 248, 520, 49));
  EXPECT_EQ(form->Option1()->geometry(), QRect(16, 20, 62, 17));
  EXPECT_EQ(form->Option2()->geometry(), QRect(88, 20, 53, 17));
  EXPECT_EQ(form->Frame4()->geometry(), QRect(8, 301, 520, 94));
  EXPECT_EQ(form->Label1()->pos(), QPoint(16, 24));
  EXPECT_EQ(form->Label1()->height(), 15);
  EXPECT_GE(form->Label1()->width(), 46);  // wider only when its text needs it
  EXPECT_LE(form->Label1()->geometry().right(), form->Text2()->x());
  EXPECT_EQ(form->Text2()->geometry(), QRect(71, 21, 143, 25));
  EXPECT_EQ(form->Combo2()->geometry(), QRect(225, 21, 280, 23));
  EXPECT_EQ(form->Text1()->geometry(), QRect(16, 56, 489, 25));
  EXPECT_EQ(form->ListView2()->geometry(), QRect(8, 304, 520, 91));
  EXPECT_EQ(form->Frame2()->geometry(), QRect(8, 399, 520, 49));
  EXPECT_EQ(form->Option5()->geometry(), QRect(16, 20, 145, 17));
  EXPECT_EQ(form->Option4()->geometry(), QRect(176, 20, 103, 17));
  EXPECT_EQ(form->Option3()->geometry(), QRect(288, 20, 124, 17));
  EXPECT_EQ(form->PushButton2()->geometry(), QRect(8, 456, 520, 27));
  EXPECT_EQ(form->Option1()->parentWidget(), form->Frame1());
  EXPECT_EQ(form->Text1()->parentWidget(), form->Frame4());
  EXPECT_EQ(form->Option3()->parentWidget(), form->Frame2());

  EXPECT_EQ(form->font().family(), "Arial");
  EXPECT_TRUE(form->font().bold());
  EXPECT_DOUBLE_EQ(form->font().pointSizeF(), 9.0);
  EXPECT_DOUBLE_EQ(form->PushButton2()->font().pointSizeF(), 11.25);
  EXPECT_TRUE(form->PushButton2()->font().bold());
  EXPECT_DOUBLE_EQ(form->ListView2()->font().pointSizeF(), 9.0);

  EXPECT_EQ(form->PushButton1()->text(), "Add Excel Files");
  EXPECT_EQ(form->PushButton5()->text(), "Add All Excel Files In Folder");
  EXPECT_EQ(form->PushButton7()->text(), "Clear List");
  EXPECT_EQ(form->PushButton3()->text(), "Load Sample/Example Files");
  EXPECT_EQ(form->PushButton2()->text(), "Start Sorting/Filtering");
  EXPECT_EQ(form->Frame1()->title(), "Options");
  EXPECT_EQ(form->Frame4()->title(), "Filter");
  EXPECT_EQ(form->Frame2()->title(), "Apply Changes To");
  EXPECT_EQ(form->Label1()->text(), "Column:");
  EXPECT_EQ(form->Option5()->text(), "Block of specific cells");
  EXPECT_EQ(form->ListView1()->toolTip(),
            "Drag and drop files here. Double-click item to remove it. Move | line to right and "
            "out of window to reveal full names.");

  const std::vector<QWidget*> expected = {
      form->ListView1(), form->Option2(),     form->Option1(),     form->Option3(),
      form->Option4(),   form->Option5(),     form->Combo2(),      form->Text1(),
      form->Text2(),     form->PushButton1(), form->PushButton5(), form->PushButton7(),
      form->PushButton2(), form->PushButton3(), form->ListView2()};
  std::vector<QWidget*> chain;
  QWidget* w = form->ListView1();
  for (int guard = 0; guard < 200 && chain.size() < expected.size(); ++guard) {
    if (std::find(expected.begin(), expected.end(), w) != expected.end()) chain.push_back(w);
    w = w->nextInFocusChain();
  }
  EXPECT_EQ(chain, expected);
}

TEST_F(WindowTest, FileListButtonsFillAndClearTheList) {
  auto form = Load();
  tabulory::testing::ScriptedFileDialogs dialogs;
  form->SetFileDialogs(&dialogs);
  dialogs.openAnswer = QStringLiteral("/data/reports") + QChar(0) + "a.xlsx" + QChar(0) + "b.xlsx";
  form->PushButton1()->click();
  ASSERT_EQ(form->ListView1Model()->Count(), 2);
  EXPECT_EQ(form->ListView1Model()->EntryText(2), "/data/reports/b.xlsx");

  form->SetPointer(MousePointer::Hourglass);  // a run is going on: clearing waits
  form->PushButton7()->click();
  EXPECT_EQ(form->ListView1Model()->Count(), 2);
  form->SetPointer(MousePointer::Default);
  form->PushButton7()->click();
  EXPECT_EQ(form->ListView1Model()->Count(), 0);
  EXPECT_TRUE(messages.shown.empty());
}

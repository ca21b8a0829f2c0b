#pragma once
// The main window: every control of the program, the start-up sequence, the
// hover pointer and the options panel's event procedures. The window reads and
// writes through injected collaborators, so tests build it without a display.
// A batch run works on a worker thread (BackgroundBatchRun); the window stays
// live meanwhile.

#include "app/shell/MousePointer.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListView.h"
#include "options/OptionsPanel.h"
#include "options/OptionsSource.h"

#include <QCursor>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeView;

namespace tabulory {

class BackgroundBatchRun;
class FileDialogs;
struct FileOutcome;
class FileListSource;
class FolderOpener;
class HostFactory;
class Messages;
class ReportListModel;
class SettingsStore;

// The display title; the window caption and the source of the short title.
inline const QString kDisplayTitle = QStringLiteral("Tabulory");
// The location text of the start-up sequence in error reports.
inline const QString kFormLoadLocation = QStringLiteral("in Tabulorix2021/08/31.Form1.Form_Load ");

class Form1 : public QWidget, public OptionsSource, public PointerState {
  Q_OBJECT

 public:
  // Calls out of the window that other parts of the program provide.
  struct Hooks {
    // Whether a path exists (its modification date can be read).
    std::function<bool(const QString& path)> pathExists;
    // Writes the record of the sample files (called while none is stored).
    std::function<void()> recordSampleFiles;
    // Ends the program at once. The default quits the event loop.
    std::function<void()> endProgram;
    // Asks, when another spreadsheet program runs, whether the batch run may
    // go on; true stops the run. The default probes this user's processes.
    // Called on the run's worker thread, with messages that show on the
    // window's thread.
    std::function<bool(Messages&)> askStopIfHostRunning;
  };

  // programFolder: where the optional files HAND-M.CUR and x/o.cjs are looked up.
  Form1(Messages& messages, SettingsStore& store, HostFactory& hosts, QString programFolder,
        QWidget* parent = nullptr);
  ~Form1() override;

  Hooks& hooks() { return hooks_; }

  // The collaborators the window was built with, for the procedures wired in
  // later (file list, batch run).
  Messages& messages() const { return messages_; }
  SettingsStore& settings() const { return store_; }
  HostFactory& hosts() const { return hosts_; }
  const QString& programFolder() const { return programFolder_; }

  // The file and folder dialogs and the folder opener of the file-list
  // buttons; the Qt ones unless replaced (tests script them).
  void SetFileDialogs(FileDialogs* dialogs) { dialogs_ = dialogs; }
  void SetFolderOpener(FolderOpener* opener) { opener_ = opener; }

  // The start-up sequence, statements 100 to 176. Call once, before show().
  void Form_Load();
  // Ends the program (closing the window does this).
  void Form_Unload();
  // True once the program was ended (for example by the failed host check).
  bool ProgramEnded() const { return ended_; }

  // Load steps of their own.
  void ApplySkin();
  void FillSortColumnList();
  // True when the skin file was found valid and applied.
  bool SkinApplied() const { return skinApplied_; }
  // True when HAND-M.CUR gave the custom pointer a picture.
  bool HasCustomPointerPicture() const { return handCursor_.has_value(); }

  // Controls, by their designer names.
  FileListView* ListView1() const { return listView1_; }
  FileListModel* ListView1Model() const { return listModel1_; }
  QTreeView* ListView2() const { return listView2_; }
  ReportListModel* ListView2Model() const { return listModel2_; }
  QPushButton* PushButton1() const { return pushButton1_; }
  QPushButton* PushButton2() const { return pushButton2_; }
  QPushButton* PushButton3() const { return pushButton3_; }
  QPushButton* PushButton5() const { return pushButton5_; }
  QPushButton* PushButton7() const { return pushButton7_; }
  QGroupBox* Frame1() const { return frame1_; }
  QGroupBox* Frame2() const { return frame2_; }
  QGroupBox* Frame4() const { return frame4_; }
  QRadioButton* Option1() const { return option1_; }
  QRadioButton* Option2() const { return option2_; }
  QRadioButton* Option3() const { return option3_; }
  QRadioButton* Option4() const { return option4_; }
  QRadioButton* Option5() const { return option5_; }
  QLabel* Label1() const { return label1_; }
  QLineEdit* Text1() const { return text1_; }
  QLineEdit* Text2() const { return text2_; }
  QComboBox* Combo2() const { return combo2_; }

  // The choices as a batch run reads them.
  Operation ChosenOperation() const override;
  Scope ChosenScope() const override;
  int SortColumn() const override;
  QString FilterColumn() const override;
  int ChosenCriterion() const override;
  QString FilterValue() const override;

  // The start button's caption while idle.
  static QString StartCaption() { return QStringLiteral("Start Sorting/Filtering"); }
  // Its caption while file `index` of `count` is processed.
  static QString ProgressCaption(int index, int count, const QString& path);
  // The text of a file's result in the list's second column: "ok", "failed: <first reason>", "skipped".
  static QString ResultText(const FileOutcome& outcome);
  // The question asked when the user wants to stop a run.
  static QString StopQuestion() { return QStringLiteral("Stop after the current file?"); }

  // True while a batch run works (on its worker thread).
  bool RunInProgress() const;
  // The files-done bar under the start button's caption, shown during a run.
  QProgressBar* RunProgress() const { return runProgress_; }

  // The window's pointer: 0 arrow, 11 hourglass, 99 the hand. It is the
  // hourglass for as long as a batch run works.
  MousePointer Pointer() const override;
  void SetPointer(MousePointer pointer) override;

 public slots:
  // Options panel.
  void Option1_Click();
  void Option2_Click();
  void Option3_Click();
  void Option4_Click();
  void Option5_Click();
  void Combo2_Click();
  void Text1_Change();
  void Text2_Change();
  void Text2_LostFocus();

  // Hover pointer: over a push button, and over the window background, a
  // frame, the sort-column list or an option button.
  void PushButton_MouseMove();
  void Background_MouseMove();

  // Push buttons. Their procedures come with the file list and the batch run.
  void PushButton1_Click();  // "Add Excel Files"
  void PushButton2_Click();  // "Start Sorting/Filtering"
  void PushButton3_Click();  // "Load Sample/Example Files"
  void PushButton5_Click();  // "Add All Excel Files In Folder"
  void PushButton7_Click();  // "Clear List"

  // Escape, or a click on the start button, during a run: asks whether to
  // stop after the current file.
  void AskStopRun();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void SetTabOrder();
  void WatchMouseMoves();
  void ShowPanelFor(Operation operation);
  void ShowPointer();
  void RunFinished();
  void AddCriterion(const QString& text);
  QString ProgramFile(const QString& relative) const;

  Messages& messages_;
  SettingsStore& store_;
  HostFactory& hosts_;
  QString programFolder_;
  OptionsPanel panel_;
  std::unique_ptr<FileDialogs> qtDialogs_;
  std::unique_ptr<FolderOpener> desktopOpener_;
  FileDialogs* dialogs_ = nullptr;
  FolderOpener* opener_ = nullptr;
  Hooks hooks_;

  MousePointer pointer_ = MousePointer::Default;
  std::optional<QCursor> handCursor_;
  bool skinApplied_ = false;
  bool ended_ = false;
  BackgroundBatchRun* run_ = nullptr;  // the run under way, if any
  int runCount_ = 0;                   // the files of the run under way or last ended
  std::unique_ptr<FileListSource> listRows_;  // ListView1's rows as a run reads them

  FileListView* listView1_ = nullptr;
  FileListModel* listModel1_ = nullptr;
  QTreeView* listView2_ = nullptr;
  ReportListModel* listModel2_ = nullptr;
  QPushButton* pushButton1_ = nullptr;
  QPushButton* pushButton2_ = nullptr;
  QProgressBar* runProgress_ = nullptr;
  QPushButton* pushButton3_ = nullptr;
  QPushButton* pushButton5_ = nullptr;
  QPushButton* pushButton7_ = nullptr;
  QGroupBox* frame1_ = nullptr;
  QGroupBox* frame2_ = nullptr;
  QGroupBox* frame4_ = nullptr;
  QRadioButton* option1_ = nullptr;
  QRadioButton* option2_ = nullptr;
  QRadioButton* option3_ = nullptr;
  QRadioButton* option4_ = nullptr;
  QRadioButton* option5_ = nullptr;
  QLabel* label1_ = nullptr;
  QLineEdit* text1_ = nullptr;
  QLineEdit* text2_ = nullptr;
  QComboBox* combo2_ = nullptr;
};

}  // namespace tabulory

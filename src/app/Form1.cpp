#include "app/Form1.h"

#include "app/BackgroundBatchRun.h"
#include "app/CursorFile.h"
#include "app/shell/ErrorReport.h"
#include "app/shell/Messages.h"
#include "app/ReportListModel.h"
#include "app/shell/SettingsStore.h"
#include "app/shell/ShortTitle.h"
#include "app/StyleSheetSkin.h"
#include "batch/BatchRun.h"
#include "batch/HostRunning.h"
#include "batch/IsInstalled.h"
#include "filelist/AddFiles.h"
#include "filelist/FileDialogs.h"
#include "filelist/FileListModel.h"
#include "filelist/FileListView.h"
#include "filelist/FileAttributes.h"
#include "filelist/FolderScan.h"
#include "filelist/ListEditing.h"
#include "filelist/SampleFiles.h"
#include "options/ColumnReference.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QResizeEvent>
#include <QKeyEvent>
#include <QSignalBlocker>
#include <QTreeView>

namespace tabulory {

namespace {

// Positions are kept in twips as the layout names them; 15 twips are one
// pixel at 96 dots per inch.
int Px(int twips) { return qRound(twips / 15.0); }

void Place(QWidget* widget, int left, int top, int width, int height) {
  widget->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

QFont ArialBold(double points) {
  QFont font(QStringLiteral("Arial"));
  font.setPointSizeF(points);
  font.setBold(true);
  return font;
}

void PaintBackground(QWidget* widget, const QColor& colour) {
  // Option buttons fill with their background role (the button colour), the
  // rest with the window colour: both get the colour.
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  palette.setColor(widget->backgroundRole(), colour);
  widget->setPalette(palette);
  // Option buttons and labels stay see-through, so they take on the look of
  // the frame they stand in; the window and the frames fill themselves.
  widget->setAutoFillBackground(!qobject_cast<QRadioButton*>(widget) &&
                                !qobject_cast<QLabel*>(widget) && !widget->inherits("QCheckBox"));
}

QTreeView* MakeReportList(QWidget* parent, ReportListModel* model) {
  auto* view = new QTreeView(parent);
  view->setModel(model);
  view->setRootIsDecorated(false);
  view->setItemsExpandable(false);
  view->setUniformRowHeights(true);  // keeps long lists quick
  view->setAllColumnsShowFocus(true);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->header()->setStretchLastSection(false);
  view->header()->setSectionsMovable(false);
  return view;
}

// The program icon, embedded in the sizes it was drawn in.
QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/tabulory/tabulory-%1.png").arg(size), QSize(size, size));
  return icon;
}

}  // namespace

namespace {

// The rows of the file list as the batch run reads them.
class ListRows : public FileListSource {
 public:
  explicit ListRows(const FileListModel& model) : model_(model) {}
  int Count() const override { return model_.Count(); }
  QString EntryText(int i) const override { return model_.EntryText(i); }

 private:
  const FileListModel& model_;
};

}  // namespace

Form1::Form1(Messages& messages, SettingsStore& store, HostFactory& hosts, QString programFolder,
             QWidget* parent)
    : QWidget(parent),
      messages_(messages),
      store_(store),
      hosts_(hosts),
      programFolder_(std::move(programFolder)),
      panel_(store) {
  hooks_.pathExists = PathExists;
  hooks_.recordSampleFiles = [this] { RecordSampleFiles(store_); };
  qtDialogs_ = std::make_unique<QtFileDialogs>(this);
  desktopOpener_ = std::make_unique<DesktopFolderOpener>();
  dialogs_ = qtDialogs_.get();
  opener_ = desktopOpener_.get();
  hooks_.endProgram = [] { QCoreApplication::exit(0); };
  hooks_.askStopIfHostRunning = [](Messages& messages) { return AskStopIfHostRunning(messages); };
  CreateControls();
  SetTabOrder();
  WatchMouseMoves();
}

Form1::~Form1() {
  // A run still going is abandoned and its worker waited for while the
  // controls it reads still exist.
  delete run_;
}

void Form1::CreateControls() {
  setObjectName(QStringLiteral("Form1"));
  // The design size is the smallest; a larger window gives the room to the
  // file list.
  setMinimumSize(Px(8040), Px(7350));
  resize(minimumSize());
  setFont(ArialBold(9));
  PaintBackground(this, Qt::white);

  listModel1_ = new FileListModel(this);
  listRows_ = std::make_unique<ListRows>(*listModel1_);
  listView1_ = new FileListView(*listModel1_, *this, messages_, this);
  listView1_->setObjectName(QStringLiteral("ListView1"));
  Place(listView1_, 120, 120, 7800, 2535);
  listView1_->setToolTip(FileListView::ToolTipText());

  auto button = [this](QPushButton*& slot, const char* name, const QString& caption, int left,
                       int top, int width, int height) {
    slot = new QPushButton(caption, this);
    slot->setObjectName(QString::fromLatin1(name));
    slot->setFont(ArialBold(11.25));
    Place(slot, left, top, width, height);
  };
  button(pushButton1_, "PushButton1", QStringLiteral("Add Excel Files"), 120, 2750, 3840, 405);
  button(pushButton5_, "PushButton5", QStringLiteral("Add All Excel Files In Folder"), 4080, 2750,
         3840, 405);
  button(pushButton7_, "PushButton7", QStringLiteral("Clear List"), 120, 3260, 3840, 405);
  button(pushButton3_, "PushButton3", QStringLiteral("Load Sample/Example Files"), 4080, 3260,
         3840, 405);

  auto frame = [this](QGroupBox*& slot, const char* name, const QString& caption, int left,
                      int top, int width, int height) {
    slot = new QGroupBox(caption, this);
    slot->setObjectName(QString::fromLatin1(name));
    Place(slot, left, top, width, height);
  };
  auto option = [](QRadioButton*& slot, QWidget* frame, const char* name, const QString& caption,
                   int left, int top, int width, int height) {
    slot = new QRadioButton(caption, frame);
    slot->setObjectName(QString::fromLatin1(name));
    Place(slot, left, top, width, height);
  };

  frame(frame1_, "Frame1", QStringLiteral("Options"), 120, 3720, 7800, 735);
  option(option1_, frame1_, "Option1", QStringLiteral("Filter"), 240, 300, 930, 255);
  option(option2_, frame1_, "Option2", QStringLiteral("Sort"), 1320, 300, 795, 255);

  frame(frame4_, "Frame4", QStringLiteral("Filter"), 120, 4515, 7800, 1410);
  label1_ = new QLabel(QStringLiteral("Column:"), frame4_);
  label1_->setObjectName(QStringLiteral("Label1"));
  Place(label1_, 240, 360, 690, 225);
  // Where the font runs wider than the design expects, the label grows to
  // the right rather than cutting its text.
  label1_->resize(std::max(label1_->width(), label1_->sizeHint().width()), label1_->height());
  text2_ = new QLineEdit(frame4_);
  text2_->setObjectName(QStringLiteral("Text2"));
  Place(text2_, 1065, 315, 2145, 375);
  combo2_ = new QComboBox(frame4_);
  combo2_->setObjectName(QStringLiteral("Combo2"));
  combo2_->setEditable(false);  // a drop-down list: only its entries can be chosen
  Place(combo2_, 3375, 315, 4200, 345);
  text1_ = new QLineEdit(frame4_);
  text1_->setObjectName(QStringLiteral("Text1"));
  Place(text1_, 240, 840, 7340, 375);

  listModel2_ = new ReportListModel(this);
  listView2_ = MakeReportList(this, listModel2_);
  listView2_->setObjectName(QStringLiteral("ListView2"));
  Place(listView2_, 120, 4560, 7800, 1365);

  frame(frame2_, "Frame2", QStringLiteral("Apply Changes To"), 120, 5985, 7800, 735);
  option(option5_, frame2_, "Option5", QStringLiteral("Block of specific cells"), 240, 300, 2175,
         255);
  option(option4_, frame2_, "Option4", QStringLiteral("Active sheet"), 2640, 300, 1545, 255);
  option(option3_, frame2_, "Option3", QStringLiteral("Entire workbook"), 4320, 300, 1860, 255);
  option5_->setChecked(true);  // the designer's choice, kept when no stored scope applies

  button(pushButton2_, "PushButton2", StartCaption(), 120, 6840, 7800, 405);
  // Files done of the total, drawn along the start button's lower edge.
  runProgress_ = new QProgressBar(pushButton2_);
  runProgress_->setObjectName(QStringLiteral("RunProgress"));
  runProgress_->setTextVisible(false);
  runProgress_->setGeometry(4, pushButton2_->height() - 5, pushButton2_->width() - 8, 3);
  runProgress_->hide();

  // Frames and option buttons share the window's white.
  for (QWidget* w : std::initializer_list<QWidget*>{frame1_, frame2_, frame4_, option1_, option2_,
                                                    option3_, option4_, option5_, label1_})
    PaintBackground(w, Qt::white);

  // A selected option button reports its click, as when the user picks it.
  auto onSelect = [this](QRadioButton* option, void (Form1::*procedure)()) {
    connect(option, &QRadioButton::toggled, this, [this, procedure](bool checked) {
      if (checked) (this->*procedure)();
    });
  };
  onSelect(option1_, &Form1::Option1_Click);
  onSelect(option2_, &Form1::Option2_Click);
  onSelect(option3_, &Form1::Option3_Click);
  onSelect(option4_, &Form1::Option4_Click);
  onSelect(option5_, &Form1::Option5_Click);
  connect(combo2_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index >= 0) Combo2_Click();
  });
  connect(text1_, &QLineEdit::textChanged, this, &Form1::Text1_Change);
  connect(text2_, &QLineEdit::textChanged, this, &Form1::Text2_Change);
  text2_->installEventFilter(this);

  connect(pushButton1_, &QPushButton::clicked, this, &Form1::PushButton1_Click);
  connect(pushButton2_, &QPushButton::clicked, this, &Form1::PushButton2_Click);
  connect(pushButton3_, &QPushButton::clicked, this, &Form1::PushButton3_Click);
  connect(pushButton5_, &QPushButton::clicked, this, &Form1::PushButton5_Click);
  connect(pushButton7_, &QPushButton::clicked, this, &Form1::PushButton7_Click);
}

void Form1::resizeEvent(QResizeEvent* event) {
  // Growth beyond the design size: the file list takes it all, the controls
  // below move down with the lower edge and the full-width ones widen.
  const int dx = width() - Px(8040);
  const int dy = height() - Px(7350);
  const auto at = [&](QWidget* w, int left, int top, int width, int height, int moveX, int moveY,
                      int growX, int growY) {
    w->setGeometry(Px(left) + moveX, Px(top) + moveY, Px(width) + growX, Px(height) + growY);
  };
  const int half = dx / 2;
  at(listView1_, 120, 120, 7800, 2535, 0, 0, dx, dy);
  at(pushButton1_, 120, 2750, 3840, 405, 0, dy, half, 0);
  at(pushButton5_, 4080, 2750, 3840, 405, half, dy, dx - half, 0);
  at(pushButton7_, 120, 3260, 3840, 405, 0, dy, half, 0);
  at(pushButton3_, 4080, 3260, 3840, 405, half, dy, dx - half, 0);
  at(frame1_, 120, 3720, 7800, 735, 0, dy, dx, 0);
  at(frame4_, 120, 4515, 7800, 1410, 0, dy, dx, 0);
  at(text1_, 240, 840, 7340, 375, 0, 0, dx, 0);
  at(listView2_, 120, 4560, 7800, 1365, 0, dy, dx, 0);
  at(frame2_, 120, 5985, 7800, 735, 0, dy, dx, 0);
  at(pushButton2_, 120, 6840, 7800, 405, 0, dy, dx, 0);
  runProgress_->setGeometry(4, pushButton2_->height() - 5, pushButton2_->width() - 8, 3);
  QWidget::resizeEvent(event);
}

void Form1::SetTabOrder() {
  // Tab indexes 0 to 18; frames and the label take no focus themselves.
  QWidget* const order[] = {listView1_,   option2_,     option1_,     option3_,     option4_,
                            option5_,     combo2_,      text1_,       text2_,       pushButton1_,
                            pushButton5_, pushButton7_, pushButton2_, pushButton3_, listView2_};
  for (std::size_t i = 0; i + 1 < std::size(order); ++i) QWidget::setTabOrder(order[i], order[i + 1]);
}

void Form1::WatchMouseMoves() {
  // Controls with a mouse-move procedure get moves without a button pressed.
  // No control passes a move on to the frame or window behind it, so the
  // background rule applies only over the background itself.
  setMouseTracking(true);
  for (QWidget* w : findChildren<QWidget*>()) w->setAttribute(Qt::WA_NoMousePropagation);
  for (QWidget* w : std::initializer_list<QWidget*>{
           pushButton1_, pushButton2_, pushButton3_, pushButton5_, pushButton7_, frame1_, frame2_,
           frame4_, option1_, option2_, option3_, option4_, option5_, listView2_,
           listView2_->viewport(), listView2_->header(), listView2_->header()->viewport()}) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
  }
}

QString Form1::ProgramFile(const QString& relative) const {
  return programFolder_ + QDir::separator() + QDir::toNativeSeparators(relative);
}

// ---------------------------------------------------------------------------
// Start-up

void Form1::Form_Load() {
  GuardedProcedure p(messages_, kFormLoadLocation);

  p.Do(100, [&] { ApplySkin(); });
  if (p.If(102, [&] { return hooks_.pathExists(ProgramFile(QStringLiteral("HAND-M.CUR"))); }))
    p.Do(104, [&] { handCursor_ = LoadCursorFile(ProgramFile(QStringLiteral("HAND-M.CUR"))); });

  const auto noSampleRecord = [&] { return store_.Read(QStringLiteral("Snapshot")).isEmpty(); };
  const auto recordSamples = [&] {
    if (hooks_.recordSampleFiles) hooks_.recordSampleFiles();
  };
  if (p.If(106, noSampleRecord)) p.Do(106, recordSamples);
  if (p.If(122, noSampleRecord)) p.Do(122, recordSamples);

  p.Do(124, [&] {
    setWindowTitle(kDisplayTitle);
    setWindowIcon(ProgramIcon());
    messages_.SetShortTitle(SetShortTitle(kDisplayTitle));
  });

  p.Do(126, [&] { listView1_->setHeaderHidden(false); });  // the model's one column
  p.Do(128, [&] { listView1_->header()->resizeSection(0, Px(7000)); });
  p.Do(130, [&] { listModel2_->AddColumn(QStringLiteral("Sort")); });
  p.Do(132, [&] { listView2_->header()->resizeSection(0, Px(6500)); });

  if (p.If(134, [&] { return panel_.StoredOperationIsFilter(); })) {
    p.Do(136, [&] { option1_->setChecked(true); });
    p.Do(138, [&] { frame4_->setVisible(true); });
    p.Do(140, [&] { listView2_->setVisible(false); });
  } else {
    p.Do(142, [&] { option2_->setChecked(true); });
    p.Do(144, [&] { frame4_->setVisible(false); });
    p.Do(146, [&] { listView2_->setVisible(true); });
  }

  if (p.If(148, [&] { return panel_.StoredScopeIs(Scope::EntireWorkbook); }))
    p.Do(150, [&] { option3_->setChecked(true); });
  else if (p.If(152, [&] { return panel_.StoredScopeIs(Scope::ActiveSheet); }))
    p.Do(154, [&] { option4_->setChecked(true); });
  else if (p.If(156, [&] { return panel_.StoredScopeIs(Scope::BlockOfCells); }))
    p.Do(158, [&] { option5_->setChecked(true); });

  p.Do(160, [&] { AddCriterion(CriterionTexts()[kEquals]); });
  p.Do(162, [&] { AddCriterion(CriterionTexts()[kContains]); });
  p.Do(164, [&] { AddCriterion(CriterionTexts()[kIsNotBlank]); });
  p.Do(166, [&] { AddCriterion(CriterionTexts()[kIsBlank]); });
  p.Do(168, [&] { combo2_->setCurrentIndex(panel_.StoredCriterionIndex()); });

  p.Do(170, [&] { text2_->setText(panel_.StoredColumn()); });
  p.Do(172, [&] { text1_->setText(panel_.StoredValue()); });
  p.Do(174, [&] { FillSortColumnList(); });
  p.Do(176, [&] {
    if (!CheckHostAvailable(hosts_, messages_)) Form_Unload();
  });
}

void Form1::AddCriterion(const QString& text) {
  // Adding entries chooses nothing: Qt would pick the first one added, which
  // would also be stored as a choice.
  const QSignalBlocker quiet(combo2_);
  const int chosen = combo2_->currentIndex();
  combo2_->addItem(text);
  combo2_->setCurrentIndex(chosen);
}

void Form1::ApplySkin() {
  const auto sheet = ReadSkinFile(ProgramFile(QStringLiteral("x/o.cjs")));
  if (!sheet) return;  // no usable skin: the white design stays
  const QColor buttonFace = QApplication::palette().color(QPalette::Button);
  PaintBackground(this, buttonFace);
  for (QWidget* w : findChildren<QWidget*>()) {
    if (qobject_cast<QRadioButton*>(w) || qobject_cast<QGroupBox*>(w) || qobject_cast<QLabel*>(w) ||
        w->inherits("QCheckBox"))
      PaintBackground(w, buttonFace);
  }
  setStyleSheet(*sheet);
  skinApplied_ = true;
}

void Form1::FillSortColumnList() {
  QStringList letters;
  letters.reserve(ColumnLimit);
  for (int n = 1; n <= ColumnLimit; ++n) letters << ColumnLettersFromNumber(n, messages_);
  listModel2_->Append(letters);
  if (!listView2_->currentIndex().isValid() && listModel2_->Count() > 0)
    listView2_->setCurrentIndex(listModel2_->index(0, 0));
}

// ---------------------------------------------------------------------------
// End

void Form1::Form_Unload() {
  if (ended_) return;
  ended_ = true;
  // A run still going ends here: the file being saved is completely saved
  // first, and nothing more is shown or saved.
  if (run_) run_->Abandon();
  if (hooks_.endProgram) hooks_.endProgram();
}

void Form1::closeEvent(QCloseEvent* event) {
  event->accept();
  Form_Unload();
}

// ---------------------------------------------------------------------------
// Options panel

void Form1::ShowPanelFor(Operation operation) {
  const PanelVisibility v = VisibilityFor(operation);
  frame4_->setVisible(v.filterFrame);
  listView2_->setVisible(v.sortColumnList);
}

void Form1::Option1_Click() {
  panel_.OperationChosen(Operation::Filter);
  ShowPanelFor(Operation::Filter);
}

void Form1::Option2_Click() {
  panel_.OperationChosen(Operation::Sort);
  ShowPanelFor(Operation::Sort);
}

void Form1::Option3_Click() { panel_.ScopeChosen(Scope::EntireWorkbook); }
void Form1::Option4_Click() { panel_.ScopeChosen(Scope::ActiveSheet); }
void Form1::Option5_Click() { panel_.ScopeChosen(Scope::BlockOfCells); }

void Form1::Combo2_Click() { panel_.CriterionChosen(combo2_->currentIndex()); }
void Form1::Text1_Change() { panel_.ValueTextChanged(text1_->text()); }
void Form1::Text2_Change() { panel_.ColumnTextChanged(text2_->text()); }

void Form1::Text2_LostFocus() {
  const ColumnCheck check = CheckColumnEntry(text2_->text(), messages_);
  if (check.replaced) {
    text2_->setText(check.text);
    Text2_Change();  // a replacement is stored even when the text looks the same
  }
  if (check.refocus) text2_->setFocus(Qt::OtherFocusReason);
}

Operation Form1::ChosenOperation() const {
  return option2_->isChecked() ? Operation::Sort : Operation::Filter;
}

Scope Form1::ChosenScope() const {
  if (option3_->isChecked()) return Scope::EntireWorkbook;
  if (option4_->isChecked()) return Scope::ActiveSheet;
  return Scope::BlockOfCells;
}

int Form1::SortColumn() const {
  const QModelIndex current = listView2_->currentIndex();
  if (!current.isValid() || !listView2_->selectionModel()->isSelected(current)) return 0;
  return ColumnNumberFromLetters(listModel2_->Text(current.row()));
}

QString Form1::FilterColumn() const { return text2_->text(); }
int Form1::ChosenCriterion() const { return combo2_->currentIndex(); }
QString Form1::FilterValue() const { return text1_->text(); }

// ---------------------------------------------------------------------------
// Pointer

MousePointer Form1::Pointer() const {
  return RunInProgress() ? MousePointer::Hourglass : pointer_;
}

void Form1::SetPointer(MousePointer pointer) {
  pointer_ = pointer;
  ShowPointer();
}

void Form1::ShowPointer() {
  switch (Pointer()) {
    case MousePointer::Default: unsetCursor(); break;
    case MousePointer::Hourglass: setCursor(Qt::WaitCursor); break;
    case MousePointer::Custom:
      // Without the cursor file the custom pointer has no picture: the arrow.
      if (handCursor_) setCursor(*handCursor_);
      else unsetCursor();
      break;
  }
}

void Form1::PushButton_MouseMove() {
  const MousePointer next = PointerAfterHover(Pointer(), HoverPlace::PushButton);
  if (next != Pointer()) SetPointer(next);
}

void Form1::Background_MouseMove() {
  const MousePointer next = PointerAfterHover(Pointer(), HoverPlace::Background);
  if (next != Pointer()) SetPointer(next);
}

void Form1::keyPressEvent(QKeyEvent* event) {
  // Escape reaches the window from any control that has no use for it.
  if (event->key() == Qt::Key_Escape && RunInProgress()) {
    AskStopRun();
    return;
  }
  QWidget::keyPressEvent(event);
}

void Form1::mouseMoveEvent(QMouseEvent* event) {
  Background_MouseMove();
  QWidget::mouseMoveEvent(event);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    if (watched == pushButton1_ || watched == pushButton2_ || watched == pushButton3_ ||
        watched == pushButton5_ || watched == pushButton7_)
      PushButton_MouseMove();
    else if (watched != text2_)  // the column box has no mouse-move procedure
      Background_MouseMove();
  } else if (event->type() == QEvent::FocusOut && watched == text2_) {
    // Only a move of the focus to another place counts; a message box or
    // another window taking over leaves the box's focus where it is.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
      Text2_LostFocus();
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Push buttons: the file-list and batch-run procedures are wired in here.

void Form1::PushButton1_Click() { tabulory::PushButton1_Click(*listModel1_, *dialogs_, messages_); }


QString Form1::ResultText(const FileOutcome& outcome) {
  if (!outcome.failures.isEmpty()) {
    QString reason = outcome.failures.first();
    reason.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return QStringLiteral("failed: ") + reason.simplified();
  }
  if (outcome.selection == BlockSelection::Cancelled) return QStringLiteral("skipped");
  return QStringLiteral("ok") + RecalculationNote(outcome.formulasLeft, outcome.recalculatedWhenOpened);
}

QString Form1::ProgressCaption(int index, int count, const QString& path) {
  return QStringLiteral("Processing %1 of %2: %3")
      .arg(index)
      .arg(count)
      .arg(QFileInfo(path).fileName());
}

bool Form1::RunInProgress() const { return run_ && run_->Running(); }

void Form1::PushButton2_Click() {
  if (run_) {  // one run at a time: a click during a run asks to stop it
    AskStopRun();
    return;
  }
  const auto askStop = hooks_.askStopIfHostRunning;
  // Progress shows on the start button: the caption and files done so far.
  const auto progress = [this](int index, int count, const QString& path) {
    if (index == 0) {  // the files are done: rest before the closing message shows
      runProgress_->hide();
      pushButton2_->setText(StartCaption());
      return;
    }
    runCount_ = count;
    pushButton2_->setText(ProgressCaption(index, count, path));
    runProgress_->setRange(0, count);
    runProgress_->setValue(index - 1);
    runProgress_->show();
  };
  // Each file's result goes to the list's second column; the last run's
  // results go first.
  listModel1_->ClearResults();
  runCount_ = 0;
  const auto fileDone = [this](int index, const FileOutcome& outcome) {
    listModel1_->SetResult(index, ResultText(outcome));
  };
  run_ = new BackgroundBatchRun({*listRows_, *this, messages_, *this, hosts_, askStop, progress, fileDone}, this);
  connect(run_, &BackgroundBatchRun::Finished, this, &Form1::RunFinished);
  run_->Start();
  ShowPointer();
}

void Form1::AskStopRun() {
  if (!RunInProgress()) return;
  // While the question is open the run finishes the current file and waits.
  BackgroundBatchRun* run = run_;
  run->Hold();
  const MessageAnswer answer =
      messages_.Show(StopQuestion(), QString(), MessageIcon::None, MessageButtons::YesNo);
  // The run may have ended while the question was open.
  if (answer == MessageAnswer::Yes && RunInProgress()) run_->RequestStop();
  if (run_ == run) run->Release();
}

void Form1::RunFinished() {
  run_->deleteLater();  // it is the sender
  run_ = nullptr;
  // The files a stop left untouched say so.
  for (int i = 1; i <= runCount_ && i <= listModel1_->Count(); ++i)
    if (listModel1_->Result(i).isEmpty()) listModel1_->SetResult(i, QStringLiteral("not processed (stopped)"));
  runProgress_->hide();
  pushButton2_->setText(StartCaption());
  ShowPointer();
}

void Form1::PushButton3_Click() {
  tabulory::PushButton3_Click(*listModel1_, store_, messages_, *opener_);
}

void Form1::PushButton5_Click() {
  tabulory::PushButton5_Click(*listModel1_, messages_, store_, *this, *dialogs_);
}

void Form1::PushButton7_Click() { tabulory::PushButton7_Click(*listModel1_, *this, messages_); }

}  // namespace tabulory

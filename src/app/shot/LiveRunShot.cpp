// Checks under a real display that the window stays live during a long run:
// writes a few large workbooks, starts a filter run over them, and while the
// run works resizes the window twice, saving a picture of the screen after
// each size, then prints what the run showed and the longest pause of the
// window's event loop.
//   tabulory_live_run_shot <output folder> [files = 5] [rows = 100000]
// The message boxes are printed instead of shown, so the check needs nobody.
#include "app/Form1.h"
#include "app/shell/Messages.h"
#include "app/shell/SettingsStore.h"
#include "app/EmbeddedHostFactory.h"
#include "filelist/FileListModel.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <xlsxwriter.h>

namespace {

// Prints every box and answers OK (and Yes).
class PrintedMessages : public tabulory::Messages {
 public:
  tabulory::MessageAnswer Show(const QString& text, const QString&, tabulory::MessageIcon,
                               tabulory::MessageButtons buttons) override {
    std::printf("message: %s\n", qPrintable(text));
    return buttons == tabulory::MessageButtons::Ok ? tabulory::MessageAnswer::Ok
                                                   : tabulory::MessageAnswer::Yes;
  }
  QString Prompt(const QString&, const QString&, const QString& proposed) override { return proposed; }
};

// A workbook of `rows` rows: "keep" or "drop" in column A, a number in B.
bool WriteLargeWorkbook(const QString& path, int rows) {
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* book = workbook_new_opt(path.toUtf8().constData(), &options);
  if (!book) return false;
  lxw_worksheet* sheet = workbook_add_worksheet(book, "Sheet1");
  for (int r = 0; r < rows; ++r) {
    worksheet_write_string(sheet, r, 0, r % 2 ? "keep" : "drop", nullptr);
    worksheet_write_number(sheet, r, 1, r, nullptr);
  }
  return workbook_close(book) == LXW_NO_ERROR;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: tabulory_live_run_shot <output folder> [files] [rows]\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const int fileCount = argc > 2 ? std::atoi(argv[2]) : 5;
  const int rows = argc > 3 ? std::atoi(argv[3]) : 100000;
  if (!QDir().mkpath(out.path()) || fileCount < 1 || rows < 1) {
    std::fprintf(stderr, "cannot use %s\n", argv[1]);
    return 1;
  }

  QTemporaryDir work;
  QStringList files;
  for (int i = 1; i <= fileCount; ++i) {
    const QString path = work.filePath(QStringLiteral("large-%1.xlsx").arg(i));
    if (!WriteLargeWorkbook(path, rows)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
    files << path;
  }

  tabulory::IniSettingsStore store(work.filePath(QStringLiteral("Carvenel.ini")));
  PrintedMessages messages;
  tabulory::EmbeddedHostFactory hosts;
  tabulory::Form1 form(messages, store, hosts, QCoreApplication::applicationDirPath());
  form.hooks().endProgram = [] {};
  form.hooks().askStopIfHostRunning = [](tabulory::Messages&) { return false; };
  form.Form_Load();
  if (form.ProgramEnded()) return 1;
  for (const QString& f : files) form.ListView1Model()->AddEntry(f);
  form.Option1()->setChecked(true);
  form.Option3()->setChecked(true);
  form.Text2()->setText(QStringLiteral("A"));
  form.Combo2()->setCurrentIndex(tabulory::kEquals);
  form.Text1()->setText(QStringLiteral("keep"));
  form.move(20, 20);
  form.show();

  // The longest time between two ticks of a 10 ms timer while the run works.
  QElapsedTimer sinceTick;
  qint64 longestPause = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    if (form.RunInProgress()) longestPause = std::max(longestPause, sinceTick.elapsed());
    sinceTick.restart();
  });

  // Pictures of the screen where the window is, each after its size settled.
  const QList<QSize> sizes{form.size(), QSize(820, 700), QSize(640, 560)};
  int shot = 0;
  QTimer shots;
  shots.setInterval(400);
  QObject::connect(&shots, &QTimer::timeout, [&] {
    if (shot >= sizes.size() || !form.RunInProgress()) return;
    const QPixmap picture = form.screen()->grabWindow(form.winId());
    const QString name = out.filePath(QStringLiteral("live-run-%1.png").arg(shot + 1));
    picture.save(name, "PNG");
    std::printf("picture %d: window %dx%d, picture %dx%d, caption \"%s\": %s\n", shot + 1,
                form.width(), form.height(), picture.width(), picture.height(),
                qPrintable(form.PushButton2()->text()), qPrintable(name));
    ++shot;
    if (shot < sizes.size()) form.resize(sizes[shot]);
    sinceTick.restart();  // the picture's own time is not a pause of the run
  });

  QTimer::singleShot(300, [&] {
    QElapsedTimer runClock;
    runClock.start();
    sinceTick.start();
    ticker.start(10);
    form.PushButton2()->click();
    shots.start();
    auto* watch = new QTimer(&form);
    QObject::connect(watch, &QTimer::timeout, [&, runClock] {
      if (form.RunInProgress()) return;
      std::printf("run: %d files of %d rows in %.1f s; pictures taken during it: %d; longest "
                  "pause of the window's events: %lld ms\n",
                  fileCount, rows, runClock.elapsed() / 1000.0, shot, longestPause);
      QCoreApplication::exit(shot == sizes.size() ? 0 : 1);
    });
    watch->start(50);
  });
  return QApplication::exec();
}

#include "filelist/SampleFiles.h"

#include "app/shell/ErrorReport.h"
#include "app/shell/Messages.h"
#include "app/shell/ProgramFolder.h"
#include "app/shell/SettingsStore.h"
#include "filelist/CleanPath.h"
#include "filelist/FileAttributes.h"
#include "filelist/FileListModel.h"
#include "filelist/ListFiles.h"

#include <QDesktopServices>
#include <QStringList>
#include <QUrl>

namespace tabulory {

namespace {

const QString kSnapshotKey = QStringLiteral("Snapshot");
// Marks a record written by this program; the rest is base64.
const QString kScrambleMark = QStringLiteral("T1");

// A fixed key stream (a small linear congruential generator), so that the
// same byte is stored differently at each position.
void MixBytes(QByteArray& bytes) {
  quint32 state = 0x5EED1234u;
  for (char& c : bytes) {
    state = state * 1664525u + 1013904223u;
    c = static_cast<char>(static_cast<unsigned char>(c) ^ static_cast<unsigned char>(state >> 24));
  }
}

}  // namespace

void DesktopFolderOpener::OpenFolder(const QString& folder) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

QString SamplesFolder() { return ProgramPath(QStringLiteral("Samples")); }

QString ScrambleSnapshot(const QString& plain) {
  QByteArray bytes = plain.toUtf8();
  const quint16 check = qChecksum(bytes);
  bytes.prepend(static_cast<char>(check & 0xFF));
  bytes.prepend(static_cast<char>(check >> 8));
  MixBytes(bytes);
  return kScrambleMark + QString::fromLatin1(bytes.toBase64());
}

std::optional<QString> UnscrambleSnapshot(const QString& stored) {
  if (!stored.startsWith(kScrambleMark)) return std::nullopt;
  const auto decoded = QByteArray::fromBase64Encoding(stored.mid(kScrambleMark.size()).toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded || decoded.decoded.size() < 2) return std::nullopt;
  QByteArray bytes = decoded.decoded;
  MixBytes(bytes);
  const quint16 check = static_cast<quint16>((static_cast<unsigned char>(bytes[0]) << 8) |
                                             static_cast<unsigned char>(bytes[1]));
  bytes.remove(0, 2);
  if (qChecksum(bytes) != check) return std::nullopt;
  const QString plain = QString::fromUtf8(bytes);
  if (plain.toUtf8() != bytes) return std::nullopt;
  return plain;
}

void RecordSampleFiles(SettingsStore& settings) {
  const QString folder = SamplesFolder();
  const FileNameArray names = ListFiles(folder, QStringLiteral("*.*"));
  QString s;
  for (int i = 1; i <= names.UpperBound(); ++i)
    s += folder + kPathSeparator + names.At(i) + u'|';
  if (!s.isEmpty()) s.chop(1);
  settings.Write(kSnapshotKey, ScrambleSnapshot(s));
}

void EnsureSampleRecord(GuardedProcedure& load, SettingsStore& settings) {
  for (int statement : {106, 122}) {
    if (load.If(statement, [&] { return settings.Read(kSnapshotKey).isEmpty(); }))
      load.Do(statement, [&] { RecordSampleFiles(settings); });
  }
}

QString OpenSamplesQuestion() {
  return QStringLiteral(
      "Would you like this software to open the folder where these sample files are stored "
      "(so that you can view them before working with them)?");
}

void LoadSampleFiles(FileListModel& list, SettingsStore& settings, Messages& messages,
                     FolderOpener& opener) {
  const QString stored = settings.Read(kSnapshotKey);
  const auto plain = stored.isEmpty() ? std::optional<QString>(QString()) : UnscrambleSnapshot(stored);
  if (!plain)
    throw ProcedureError(QStringLiteral("The record of the sample files is damaged and cannot be read."));
  const QStringList parts = plain->isEmpty() ? QStringList() : plain->split(u'|');
  {
    FileListModel::AppendBatch batch(list);
    for (const QString& part : parts)
      if (PathExists(part) && !list.ListContains(part)) list.AddEntry(part);
  }
  if (messages.Show(OpenSamplesQuestion(), QString(), MessageIcon::None, MessageButtons::YesNo) ==
      MessageAnswer::Yes)
    opener.OpenFolder(SamplesFolder() + kPathSeparator);
}

void PushButton3_Click(FileListModel& list, SettingsStore& settings, Messages& messages,
                       FolderOpener& opener) {
  GuardedProcedure p(messages, QStringLiteral("in Tabulorix2021/08/31.Form1.PushButton3_Click "));
  p.Do(100, [&] { LoadSampleFiles(list, settings, messages, opener); });
}

}  // namespace tabulory

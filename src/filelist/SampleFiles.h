#pragma once
// The sample workbooks in the "Samples" folder beside the program. Which
// files count as samples is recorded once (setting "Snapshot"), so files put
// into the folder later are not loaded as samples.

#include <QString>
#include <optional>

namespace tabulory {

class FileListModel;
class GuardedProcedure;
class Messages;
class SettingsStore;

// Shows a folder in the desktop's file manager.
class FolderOpener {
 public:
  virtual ~FolderOpener() = default;
  virtual void OpenFolder(const QString& folder) = 0;
};

// Opens folders with QDesktopServices (xdg-open).
class DesktopFolderOpener : public FolderOpener {
 public:
  void OpenFolder(const QString& folder) override;
};

// The Samples folder: the program folder, the separator and "Samples".
QString SamplesFolder();

// The stored form of the record and back. Unscramble gives nothing for a text
// that was not made by Scramble.
QString ScrambleSnapshot(const QString& plain);
std::optional<QString> UnscrambleSnapshot(const QString& stored);

// Records the full paths of the files now in the Samples folder, joined by
// "|", scrambled, as "Snapshot".
void RecordSampleFiles(SettingsStore& settings);

// The start-up steps that make the record when none is stored (statements
// 106 and 122 of the window's load step, run under its guard).
void EnsureSampleRecord(GuardedProcedure& load, SettingsStore& settings);

// Appends every recorded sample that still exists and is not listed yet,
// then asks whether to open the Samples folder (and opens it on Yes).
// Throws ProcedureError when the record cannot be unscrambled.
void LoadSampleFiles(FileListModel& list, SettingsStore& settings, Messages& messages,
                     FolderOpener& opener);

// The question asked after loading.
QString OpenSamplesQuestion();

// The "Load Sample/Example Files" button: LoadSampleFiles as statement 100.
void PushButton3_Click(FileListModel& list, SettingsStore& settings, Messages& messages,
                       FolderOpener& opener);

}  // namespace tabulory

#pragma once
// The block of a command-line run: one reference, looked up in every file.

#include "batch/BatchRun.h"

#include <QString>

namespace tabulory::cli {

class ReferenceBlockChooser : public BlockChooser {
 public:
  // reference: "B2:D9" (on the active sheet) or "'Sheet 2'!B2:D9".
  explicit ReferenceBlockChooser(QString reference) : reference_(std::move(reference)) {}

  // There is no window to show; the instance must still be alive, as for the
  // window's host.
  void ShowHost(host::Application& app) override;
  // The reference's range in the workbook opened last, or nothing when it
  // names no range there (Refusal() then tells why).
  std::optional<host::Range> SelectBlock(host::Application* app) override;

  // Why the last lookup gave nothing; empty after a found block.
  const QString& Refusal() const { return refusal_; }

 private:
  QString reference_;
  QString refusal_;
};

}  // namespace tabulory::cli

#include "app/shell/ErrorReport.h"

#include "app/shell/Messages.h"
#include "app/shell/RawFileName.h"
#include "host/core/HostError.h"

#include <exception>
#include <stdexcept>
#include <system_error>

#ifndef TABULORY_SUPPORT_ADDRESS
#define TABULORY_SUPPORT_ADDRESS "support@carvenel.example"
#endif

namespace tabulory {

QString ErrorReportCaption() { return QStringLiteral("Application Error"); }

QString SupportAddress() { return QStringLiteral(TABULORY_SUPPORT_ADDRESS); }

QString ProcedureErrorText(const QString& location, int statement, const QString& description) {
  return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") +
         QString::number(statement) + QStringLiteral("\r\r") +
         QStringLiteral("Please email screenshot of this message to ") + SupportAddress();
}

void ReportProcedureError(Messages& messages, const QString& location, int statement,
                          const QString& description) {
  // The report must never fail in a way the user sees.
  try {
    messages.Show(ProcedureErrorText(location, statement, description),
                  ErrorReportCaption(), MessageIcon::Warning, MessageButtons::Ok);
  } catch (...) {
  }
}

QString CurrentExceptionDescription() {
  const QString unexpected = QStringLiteral("An unexpected internal failure occurred");
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return QStringLiteral("Out of memory");
  } catch (const host::HostError& e) {
    // A path in the text keeps its bytes, also those that are not UTF-8.
    const std::string& text = e.Description();
    return FileNameFromBytes(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  } catch (const ProcedureError& e) {
    return e.Description();
  } catch (const std::exception&) {
    // Only the program's own failures are worded for the user; the
    // libraries' carry their words, not the user's.
    return unexpected;
  } catch (...) {
    return QStringLiteral("Unknown failure");
  }
}

GuardedProcedure::GuardedProcedure(Messages& messages, QString location)
    : messages_(messages), location_(std::move(location)) {}

bool GuardedProcedure::Do(int statement, const std::function<void()>& body) {
  try {
    body();
    return true;
  } catch (...) {
    Report(statement, CurrentExceptionDescription());
    return false;
  }
}

bool GuardedProcedure::If(int statement, const std::function<bool()>& test) {
  bool result = true;  // a failing test runs the then-branch
  Do(statement, [&] { result = test(); });
  return result;
}

void GuardedProcedure::Report(int statement, const QString& description) {
  ++failures_;
  ReportProcedureError(messages_, location_, statement, description);
}

}  // namespace tabulory

#pragma once
// The common failure report of guarded procedures, and the small mechanism that
// runs a procedure as numbered statements: a failing statement is reported and
// the procedure goes on with the next one.

#include <QString>
#include <functional>
#include <stdexcept>
#include <string>

namespace tabulory {

class Messages;

// A failure with a description in our own words, thrown by routines that have
// no report of their own; the nearest guarded caller reports it.
class ProcedureError : public std::runtime_error {
 public:
  explicit ProcedureError(const QString& description)
      : std::runtime_error(description.toStdString()), description_(description) {}
  explicit ProcedureError(const std::string& description)
      : std::runtime_error(description), description_(QString::fromStdString(description)) {}
  // The description in our own words, as given.
  const QString& Description() const { return description_; }

 private:
  QString description_;
};

// The address named at the end of every report (configured at build time).
QString SupportAddress();

// The report's text: description, CR LF, location, "at line ", number, CR CR,
// and the request to mail a screenshot to the support address.
QString ProcedureErrorText(const QString& location, int statement, const QString& description);

// The report's caption: "Application Error".
QString ErrorReportCaption();

// Shows the report: caption "Application Error", warning icon, OK.
void ReportProcedureError(Messages& messages, const QString& location, int statement,
                          const QString& description);

// One run of a guarded procedure. Each statement carries its number; a
// statement that throws is reported with that number and the procedure goes on.
//
//   GuardedProcedure p(messages, "in Tabulorix2021/08/31.Form1.Form_Load ");
//   p.Do(100, [&] { ApplySkin(); });
//   if (p.If(102, [&] { return PathExists(cursor); })) p.Do(104, [&] { LoadCursor(); });
class GuardedProcedure {
 public:
  GuardedProcedure(Messages& messages, QString location);

  // Runs one statement; returns false when it failed (and was reported).
  bool Do(int statement, const std::function<void()>& body);

  // The test of a conditional statement. A failing test is reported and counts
  // as true, so the then-branch runs.
  bool If(int statement, const std::function<bool()>& test);

  // Evaluates a statement that yields a value; on failure reports it and gives
  // the fallback.
  template <typename T>
  T Value(int statement, const std::function<T()>& body, T fallback) {
    T result = fallback;
    Do(statement, [&] { result = body(); });
    return result;
  }

  // Reports a failure of the given statement without running anything (for
  // failures detected outside a Do, such as a special error case).
  void Report(int statement, const QString& description);

  int FailureCount() const { return failures_; }
  const QString& Location() const { return location_; }

 private:
  Messages& messages_;
  QString location_;
  int failures_ = 0;
};

// The description of the exception in flight (call inside a catch block).
QString CurrentExceptionDescription();

}  // namespace tabulory

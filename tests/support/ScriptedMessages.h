#pragma once
#include <functional>
// Messages for tests: records every box and prompt shown and answers from a
// queue (Yes for questions and OK for boxes when the queue is empty).

#include "app/shell/Messages.h"

#include <QRegularExpression>
#include <QStringList>
#include <deque>
#include <vector>

namespace tabulory::testing {

struct ShownMessage {
  QString text;
  QString caption;  // as shown: the short title when the box named none
  MessageIcon icon;
  MessageButtons buttons;
};

class ScriptedMessages : public Messages {
 public:
  MessageAnswer Show(const QString& text, const QString& caption, MessageIcon icon,
                     MessageButtons buttons) override {
    shown.push_back({text, CaptionOrShortTitle(caption), icon, buttons});
    if (onShow) onShow(text);
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (answers.empty()) return MessageAnswer::Yes;
    const MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
  }

  QString Prompt(const QString& text, const QString& caption, const QString& proposed) override {
    prompts.push_back({text, CaptionOrShortTitle(caption), MessageIcon::None, MessageButtons::Ok});
    proposals.push_back(proposed);
    if (promptAnswers.empty()) return proposed;
    const QString a = promptAnswers.front();
    promptAnswers.pop_front();
    return a;
  }

  // Called with each box's text as it shows (the window's state can be read then).
  std::function<void(const QString& text)> onShow;

  // Texts of every box shown, in order.
  QStringList Texts() const {
    QStringList list;
    for (const auto& m : shown) list << m.text;
    return list;
  }

  // The statement numbers of the error reports shown for one procedure (its
  // name, e.g. "PushButton2_Click"), in order.
  std::vector<int> ReportedStatements(const QString& procedure) const {
    const QRegularExpression line(QRegularExpression::escape(procedure) +
                                  QStringLiteral(" at line (\\d+)\\r"));
    std::vector<int> numbers;
    for (const auto& m : shown)
      if (const auto match = line.match(m.text); match.hasMatch())
        numbers.push_back(match.captured(1).toInt());
    return numbers;
  }

  // Texts of the boxes that are not error reports, in order.
  QStringList PlainTexts() const {
    QStringList texts;
    for (const auto& m : shown)
      if (m.caption != QStringLiteral("Application Error")) texts << m.text;
    return texts;
  }

  std::vector<ShownMessage> shown;
  std::vector<ShownMessage> prompts;
  QStringList proposals;
  std::deque<MessageAnswer> answers;   // for Yes/No boxes
  std::deque<QString> promptAnswers;   // for prompts; "" = cancel
};

}  // namespace tabulory::testing

// Modal questions to the user, behind a handler that tests replace.
//
// The default handler shows a QMessageBox; a test installs a handler that answers at once (and
// may record what was asked). Every question of the shell goes through ask().
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace nimbara {

class Alerts {
  public:
    // Which button ended the question.
    enum class Answer { Default, Alternate, Other };

    struct Question {
        QString message;
        QString informativeText;
        QString defaultButton;    // the first, emphasised button
        QString alternateButton;  // usually "Cancel"; empty: none
        QString otherButton;      // a third button; empty: none
        // A check box below the text ("Do not show this message again"); empty: none. Where
        // there is one, `suppressionChecked` (when not null) gets its state once answered; a
        // handler that answers for the user sets it.
        QString suppressionText{};
        bool* suppressionChecked = nullptr;
    };

    using Handler = std::function<Answer(QWidget* parent, const Question& question)>;

    // Asks `question` modally over `parent` (may be null) and returns the answer.
    static Answer ask(QWidget* parent, const Question& question);

    // Replaces the handler; a null handler restores the message box.
    static void setHandler(Handler handler);

    // Installs a handler for the lifetime of the object and restores the previous one after.
    class ScopedHandler {
      public:
        explicit ScopedHandler(Handler handler);
        ~ScopedHandler();
        ScopedHandler(const ScopedHandler&) = delete;
        ScopedHandler& operator=(const ScopedHandler&) = delete;

      private:
        Handler previous_;
    };

  private:
    static Handler& handler();
    static Answer messageBox(QWidget* parent, const Question& question);
};

}  // namespace nimbara

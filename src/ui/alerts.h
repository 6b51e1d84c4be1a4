// Modal questions to the user, behind a handler that tests replace.
//
// The default handler shows a QMessageBox; a test installs a handler that answers at once (and
// may record what was asked). Every question of the shell goes through ask().
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <utility>

class QWidget;

namespace nimbara {

class Alerts {
  public:
    // Which button ended the question.
    enum class Answer { Default, Alternate, Other };

    // Lets whoever asks end a question still open, as if it was cancelled: what it asks about
    // went away. The question's handler learns of it through onDismiss. GUI thread only.
    class Dismissal {
      public:
        // Ends the question (at once when it is open, before it shows when it is not yet).
        void dismiss();
        bool dismissed() const { return dismissed_; }
        // For the handler showing the question, which asks dismissed() first: `close` ends it.
        // An empty function lets go of the last one.
        void onDismiss(std::function<void()> close) { close_ = std::move(close); }

      private:
        bool dismissed_ = false;
        std::function<void()> close_;
    };

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
        // Set by an asker that may have to end the question itself; null: only the user does.
        // A dismissed question's answer is Alternate.
        std::shared_ptr<Dismissal> dismissal{};
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

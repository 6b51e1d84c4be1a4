// A question on show is ended by whoever asked it, as if it was cancelled.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include "../app/app_test_support.h"
#include "ui/alerts.h"

namespace {

TEST(AlertsTest, ADismissedQuestionEndsAsCancelled) {
    nimbara::test::ensureApplication();
    QTimer fallback;  // a question left open is closed after a while: a failure, never a hang
    QObject::connect(&fallback, &QTimer::timeout, [] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
        }
    });
    fallback.start(3000);
    for (const bool beforeShown : {false, true}) {
        nimbara::Alerts::Question question;
        question.message = QStringLiteral("Replace the backup?");
        question.defaultButton = QStringLiteral("Replace");
        question.dismissal = std::make_shared<nimbara::Alerts::Dismissal>();
        if (beforeShown) {
            question.dismissal->dismiss();
        } else {
            QTimer::singleShot(0, [dismissal = question.dismissal] { dismissal->dismiss(); });
        }
        EXPECT_EQ(nimbara::Alerts::ask(nullptr, question), nimbara::Alerts::Answer::Alternate);
    }
}

}  // namespace

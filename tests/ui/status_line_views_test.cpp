// A page's status line under several views says only what it said about the view on show.
#include <gtest/gtest.h>

#include <QLabel>
#include <QStackedWidget>
#include <QWidget>

#include "../app/app_test_support.h"
#include "ui/status_line_views.h"

namespace {

// A page as the pages build theirs: views in a stack and one status line under them.
struct Page {
    QWidget root;
    QStackedWidget* stack = new QStackedWidget(&root);
    QLabel* line = new QLabel(&root);
    QWidget* photos = new QWidget();
    QWidget* music = new QWidget();
    QWidget* notes = new QWidget();

    Page() {
        for (QWidget* view : {photos, music, notes}) {
            stack->addWidget(view);
        }
        line->hide();
        nimbara::ui::keepStatusPerView(line, {photos, music, notes});
    }
    // What a page's setStatus does.
    void say(const QString& text) {
        line->setText(text);
        line->setVisible(!text.isEmpty());
    }
    QString shown() const { return line->isHidden() ? QString() : line->text(); }
};

TEST(StatusLineViews, EachViewGetsBackItsOwnLineAndNoOther) {
    nimbara::test::ensureApplication();
    for (const bool pageShown : {false, true}) {
        SCOPED_TRACE(pageShown ? "page on show" : "page hidden");
        Page page;
        page.root.setVisible(pageShown);
        page.say(QStringLiteral("3 of 20 photos could not be exported."));

        page.stack->setCurrentWidget(page.music);
        EXPECT_EQ(page.shown(), QString());
        page.say(QStringLiteral("The device went away."));

        page.stack->setCurrentWidget(page.notes);
        EXPECT_EQ(page.shown(), QString());
        page.stack->setCurrentWidget(page.photos);
        EXPECT_EQ(page.shown(), QStringLiteral("3 of 20 photos could not be exported."));
        // A line the page cleared stays cleared for its view.
        page.say(QString());
        page.stack->setCurrentWidget(page.music);
        EXPECT_EQ(page.shown(), QStringLiteral("The device went away."));
        page.stack->setCurrentWidget(page.photos);
        EXPECT_EQ(page.shown(), QString());
    }
}

}  // namespace

// An emoji in a message is drawn, in colour, from the emoji font the install script brings, not
// as an empty box.
#include <gtest/gtest.h>

#include <QColor>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>

#include "../app/app_test_support.h"
#include "ui/chat_text.h"
#include "ui/fonts.h"

namespace {

TEST(ChatEmoji, EmojiTheTextFontLacksAreDrawnInColour) {
    nimbara::test::ensureApplication();
    const QFont font = nimbara::ui::chatFont(24);
    // Letters and digits stay with the text font.
    EXPECT_EQ(QFontInfo(font).family(), QLatin1String(nimbara::ui::kAppFontSubstitute));
    for (const char32_t emoji : {U'\U0001F44D', U'\U0001F389', U'\U0001F34E'}) {
        SCOPED_TRACE(static_cast<unsigned>(emoji));
        EXPECT_TRUE(QFontMetrics(font).inFontUcs4(emoji));
        QImage image(64, 64, QImage::Format_ARGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            painter.setPen(Qt::black);
            nimbara::ui::drawChatText(painter, QPointF(4, 4), QString::fromUcs4(&emoji, 1), font,
                                      56);
        }
        // A box or a black outline has no colour; an emoji has.
        int coloured = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                coloured += QColor(image.pixel(x, y)).hsvSaturation() > 100 ? 1 : 0;
            }
        }
        EXPECT_GT(coloured, 20);
    }
}

}  // namespace

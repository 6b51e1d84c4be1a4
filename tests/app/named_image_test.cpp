// The application's drawn images: every catalogue entry draws at its size, look-ups are stable
// and forgiving of the ".png" suffix, and every image the code asks for by name exists.

#include <gtest/gtest.h>

#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include "app_test_support.h"
#include "ui/image_catalog.h"
#include "ui/named_image.h"

namespace nimbara::ui {
namespace {

class NamedImageTest : public ::testing::Test {
  protected:
    void SetUp() override { test::ensureApplication(); }
};

bool hasVisiblePixel(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if (qAlpha(line[x]) > 0) {
                return true;
            }
        }
    }
    return false;
}

TEST_F(NamedImageTest, EveryCatalogueEntryDrawsSomethingAtItsSize) {
    for (const ImageRecipe& recipe : imageCatalog()) {
        const QString name = QString::fromLatin1(recipe.name);
        SCOPED_TRACE(name.toStdString());
        const QPixmap pixmap = namedImage(name);
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.size(), QSize(recipe.width, recipe.height));
        EXPECT_TRUE(hasVisiblePixel(pixmap.toImage())) << "the image is fully transparent";
        EXPECT_FALSE(namedIcon(name).isNull());
    }
}

TEST_F(NamedImageTest, CatalogueNamesAreUniqueAndListedWithoutSuffix) {
    QSet<QString> seen;
    for (const ImageRecipe& recipe : imageCatalog()) {
        const QString name = QString::fromLatin1(recipe.name);
        EXPECT_FALSE(seen.contains(name)) << "listed twice: " << name.toStdString();
        EXPECT_FALSE(name.endsWith(QStringLiteral(".png"))) << name.toStdString();
        seen.insert(name);
    }
    const QStringList listed = namedImageList();
    EXPECT_EQ(static_cast<std::size_t>(listed.size()), imageCatalog().size());
    EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));
    EXPECT_EQ(QSet<QString>(listed.begin(), listed.end()), seen);
}

TEST_F(NamedImageTest, SuffixIsOptionalAndLookUpsGiveTheSamePixmap) {
    // Check boxes keep their state as their image and compare it with the named image, so
    // every look-up of a name must give the very same pixmap.
    for (const QString& stem : {QStringLiteral("selectedstate"), QStringLiteral("leftground"),
                                QStringLiteral("Close_Nom"), QStringLiteral("phone&videoOn")}) {
        SCOPED_TRACE(stem.toStdString());
        const QPixmap bare = namedImage(stem);
        const QPixmap suffixed = namedImage(stem + QStringLiteral(".png"));
        ASSERT_FALSE(bare.isNull());
        EXPECT_EQ(bare.cacheKey(), suffixed.cacheKey());
        EXPECT_EQ(bare.cacheKey(), namedImage(stem).cacheKey());
        EXPECT_TRUE(hasNamedImage(stem));
        EXPECT_TRUE(hasNamedImage(stem + QStringLiteral(".png")));
    }
    EXPECT_NE(namedImage(QStringLiteral("selectedstate.png")).cacheKey(),
              namedImage(QStringLiteral("unselectedstate.png")).cacheKey());
}

TEST_F(NamedImageTest, UnknownNamesGiveNothing) {
    for (const QString& name :
         {QString(), QStringLiteral(""), QStringLiteral(".png"), QStringLiteral("no-such-image"),
          QStringLiteral("Close_Nom.png.png"), QStringLiteral("close_nom"),
          QStringLiteral("Close_Nom.PNG"), QStringLiteral("scaniphone7.png"),
          QStringLiteral("cleaniphone0.png"), QStringLiteral("../Close_Nom.png")}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(hasNamedImage(name));
        EXPECT_TRUE(namedImage(name).isNull());
        // Asked again (logged only once), still nothing.
        EXPECT_TRUE(namedImage(name).isNull());
        EXPECT_TRUE(namedIcon(name).isNull());
    }
}

TEST_F(NamedImageTest, NamesDifferingOnlyInCaseAreDifferentImages) {
    // The message view's contact-file picture and the contact placeholder are two images.
    const QPixmap placeholder = namedImage(QStringLiteral("contact"));
    const QPixmap card = namedImage(QStringLiteral("Contact"));
    ASSERT_FALSE(placeholder.isNull());
    ASSERT_FALSE(card.isNull());
    EXPECT_NE(placeholder.size(), card.size());
}

// Pages build these names from a stem and a state suffix at run time, so no literal in the
// code shows them; every state of each must exist.
TEST_F(NamedImageTest, StateFamiliesBuiltFromStemsAreComplete) {
    const QStringList privacyStems = {
        QStringLiteral("ContactCleanup"),
        QStringLiteral("MessageCleanup"),
        QStringLiteral("MessageAttachmentCleanup"),
        QStringLiteral("SafariBrowseHistoryCleanup"),
        QStringLiteral("SafariSeachHistoryCleanup"),
        QStringLiteral("WebCacheCleanup"),
        QStringLiteral("KeybroadInputCleanup"),
        QStringLiteral("WifiConnectionRecordCleanup"),
        QStringLiteral("GPSLocationRecordCleanup"),
        QStringLiteral("NoteCleanup"),
        QStringLiteral("CallHistoryCleanup"),
    };
    for (const QString& stem : privacyStems) {
        for (const char* suffix : {"_Nom.png", "_Enter.png", "_Down.png"}) {
            EXPECT_TRUE(hasNamedImage(stem + QLatin1String(suffix)))
                << stem.toStdString() << suffix;
        }
    }
    const QStringList backupStems = {
        QStringLiteral("phone&video"),
        QStringLiteral("contact"),
        QStringLiteral("message"),
        QStringLiteral("note"),
        QStringLiteral("call"),
        QStringLiteral("Safari-BookMark"),
        QStringLiteral("CalendarReminder"),
        QStringLiteral("TwitterFaceBook"),
    };
    for (const QString& stem : backupStems) {
        EXPECT_TRUE(hasNamedImage(stem + QStringLiteral("Nom"))) << stem.toStdString();
        EXPECT_TRUE(hasNamedImage(stem + QStringLiteral("On"))) << stem.toStdString();
    }
    EXPECT_TRUE(hasNamedImage(QStringLiteral("backupborswerNom")));
    EXPECT_TRUE(hasNamedImage(QStringLiteral("backupborswerDown")));
    for (const char* tone : {"Gry", "Green"}) {
        for (const char* part : {"topl", "top", "topr", "centerl", "center", "centerr", "bottoml",
                                 "bottom", "bottomr"}) {
            EXPECT_TRUE(hasNamedImage(QLatin1String(tone) + QLatin1String(part))) << tone << part;
        }
    }
}

// A copy-and-paste slip in the table would give two states of one control the same drawing.
TEST_F(NamedImageTest, StatesOfOneControlLookDifferent) {
    const QList<QStringList> suffixGroups = {
        {QStringLiteral("_Nom"), QStringLiteral("_Enter"), QStringLiteral("_Down")},
        {QStringLiteral("Nom"), QStringLiteral("Enter"), QStringLiteral("Down")},
        {QStringLiteral("nom"), QStringLiteral("enter"), QStringLiteral("down")},
        {QStringLiteral("Nom"), QStringLiteral("On")},
        {QStringLiteral("01"), QStringLiteral("02")},
        {QStringLiteral("btnnom"), QStringLiteral("enter"), QStringLiteral("down")},
    };
    int comparedPairs = 0;
    for (const ImageRecipe& recipe : imageCatalog()) {
        const QString name = QString::fromLatin1(recipe.name);
        for (const QStringList& group : suffixGroups) {
            for (const QString& suffix : group) {
                if (!name.endsWith(suffix)) {
                    continue;
                }
                const QString stem = name.chopped(suffix.size());
                for (const QString& other : group) {
                    const QString sibling = stem + other;
                    if (other == suffix || !hasNamedImage(sibling)) {
                        continue;
                    }
                    ++comparedPairs;
                    EXPECT_NE(namedImage(name).toImage(), namedImage(sibling).toImage())
                        << name.toStdString() << " and " << sibling.toStdString();
                }
            }
        }
    }
    EXPECT_GT(comparedPairs, 100);
}

TEST_F(NamedImageTest, AnimationFramesAreAllPresentAndDistinct) {
    const auto framesDiffer = [](const QString& pattern, int last) {
        QHash<QString, int> seen;  // image bytes -> frame
        for (int frame = 1; frame <= last; ++frame) {
            const QString name = pattern.arg(frame);
            const QPixmap pixmap = namedImage(name);
            EXPECT_FALSE(pixmap.isNull()) << name.toStdString();
            const QImage image = pixmap.toImage();
            const QString key =
                QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(image.constBits()),
                                               static_cast<qsizetype>(image.sizeInBytes()))
                                        .toBase64());
            EXPECT_FALSE(seen.contains(key))
                << name.toStdString() << " repeats frame " << seen.value(key);
            seen.insert(key, frame);
        }
    };
    framesDiffer(QStringLiteral("scaniphone%1.png"), 6);
    framesDiffer(QStringLiteral("cleaniphone%1.png"), 7);
}

// Average lightness (0-255) of the clearly visible pixels.
double meanLightnessOfVisible(const QImage& image) {
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    int count = 0;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QColor colour = argb.pixelColor(x, y);
            if (colour.alpha() >= 128) {
                sum += colour.lightness();
                ++count;
            }
        }
    }
    return count == 0 ? -1 : sum / count;
}

// Unselected sidebar rows are grey and selected rows blue with a white label: the "01" icons
// must be dark and the "02" icons light, or an icon vanishes into its row.
TEST_F(NamedImageTest, SidebarIconsContrastWithTheirRow) {
    int pairs = 0;
    for (const ImageRecipe& recipe : imageCatalog()) {
        if (recipe.kind != ImageKind::SidebarIcon) {
            continue;
        }
        const QString name = QString::fromLatin1(recipe.name);
        SCOPED_TRACE(name.toStdString());
        const double lightness = meanLightnessOfVisible(namedImage(name).toImage());
        ASSERT_GE(lightness, 0);
        if (recipe.look == ImageLook::Down) {
            EXPECT_GT(lightness, 200);
            ++pairs;
        } else {
            EXPECT_LT(lightness, 140);
        }
    }
    EXPECT_GE(pairs, 15);
}

// The nine tiles of a chat bubble are stretched and stitched together: the middle tile must be
// solid to its edges, each corner tile see-through at its outer corner and solid at the inner
// one, and the edge tiles solid along the side that meets the middle.
TEST_F(NamedImageTest, BubbleTilesStitchIntoOneBubble) {
    for (const char* tone : {"Gry", "Green"}) {
        const auto tile = [tone](const char* part) {
            return namedImage(QLatin1String(tone) + QLatin1String(part))
                .toImage()
                .convertToFormat(QImage::Format_ARGB32);
        };
        const QImage centre = tile("center");
        ASSERT_FALSE(centre.isNull());
        const int last = centre.width() - 1;
        for (int i = 0; i <= last; ++i) {
            EXPECT_EQ(qAlpha(centre.pixel(i, 0)), 255) << tone;
            EXPECT_EQ(qAlpha(centre.pixel(0, i)), 255) << tone;
            EXPECT_EQ(qAlpha(centre.pixel(last, i)), 255) << tone;
            EXPECT_EQ(qAlpha(centre.pixel(i, last)), 255) << tone;
        }
        const QImage topLeft = tile("topl");
        const QImage bottomRight = tile("bottomr");
        EXPECT_EQ(qAlpha(topLeft.pixel(0, 0)), 0) << tone;
        EXPECT_EQ(qAlpha(topLeft.pixel(last, last)), 255) << tone;
        EXPECT_EQ(qAlpha(bottomRight.pixel(last, last)), 0) << tone;
        EXPECT_EQ(qAlpha(bottomRight.pixel(0, 0)), 255) << tone;
        // The top edge meets the middle along its bottom row, with the middle's colour.
        const QImage top = tile("top");
        for (int x = 0; x <= last; ++x) {
            EXPECT_EQ(top.pixel(x, last), centre.pixel(x, 0)) << tone << " column " << x;
        }
    }
}

// Tick boxes must read at a glance: the unticked box is light inside, the ticked and partly
// ticked boxes are filled, and the two filled ones differ.
TEST_F(NamedImageTest, TickBoxStatesAreLegible) {
    const auto insideLightness = [](const char* name) {
        const QImage image = namedImage(QLatin1String(name)).toImage();
        // A point inside the box but off the tick and the dash.
        return image.pixelColor(4, image.height() - 5).lightness();
    };
    EXPECT_GT(insideLightness("unselectedstate.png"), 230);
    EXPECT_GT(insideLightness("unselected"), 230);
    EXPECT_GT(insideLightness("button_on.png"), 230);
    EXPECT_LT(insideLightness("selectedstate.png"), 180);
    EXPECT_LT(insideLightness("selected"), 180);
    EXPECT_LT(insideLightness("selectedSome"), 180);
    EXPECT_LT(insideLightness("button_off.png"), 180);
    EXPECT_NE(namedImage(QStringLiteral("selected")).toImage(),
              namedImage(QStringLiteral("selectedSome")).toImage());
}

// --- Every image the code asks for ---------------------------------------------------------

struct ImageReference {
    QString file;
    QString name;
};

// Image names the code passes to the image functions, and ".png" literals in widget code.
std::vector<ImageReference> referencedImageNames(const QString& sourceDir, int* filesScanned) {
    static const QRegularExpression call(QStringLiteral(
        R"re(\b(?:namedImage|namedIcon|setImage)\(\s*(?:QStringLiteral\(\s*)?"([^"\\\n]*)")re"));
    static const QRegularExpression pngLiteral(QStringLiteral(R"re("([^"\\\n]*\.png)")re"));
    // Folders of widget code; the core's ".png" literals are device file names.
    static const QRegularExpression widgetFolder(
        QStringLiteral(R"re(/src/(app|ui|[a-z]+/pages)/)re"));

    std::vector<ImageReference> found;
    *filesScanned = 0;
    QDirIterator it(sourceDir + QStringLiteral("/src"),
                    {QStringLiteral("*.cpp"), QStringLiteral("*.h")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "cannot read " << path.toStdString();
            continue;
        }
        ++*filesScanned;
        const QString text = QString::fromUtf8(file.readAll());
        const QString relative = path.mid(sourceDir.size() + 1);
        for (auto match = call.globalMatch(text); match.hasNext();) {
            found.push_back({relative, match.next().captured(1)});
        }
        if (widgetFolder.match(path).hasMatch()) {
            for (auto match = pngLiteral.globalMatch(text); match.hasNext();) {
                found.push_back({relative, match.next().captured(1)});
            }
        }
    }
    return found;
}

// Names with a placeholder stand for a numbered series of images.
QStringList expandPattern(const QString& name) {
    static const QList<std::pair<QRegularExpression, int>> series = {
        {QRegularExpression(QStringLiteral(R"(^scaniphone%(?:1|d)\.png$)")), 6},
        {QRegularExpression(QStringLiteral(R"(^cleaniphone%(?:1|d)\.png$)")), 7},
    };
    for (const auto& [pattern, last] : series) {
        if (pattern.match(name).hasMatch()) {
            QStringList names;
            for (int i = 1; i <= last; ++i) {
                names.append(QString(name).replace(QRegularExpression(QStringLiteral("%(1|d)")),
                                                   QString::number(i)));
            }
            return names;
        }
    }
    return {name};
}

bool isNotAnImageName(const QString& name) {
    // The bare suffix (code that adds or strips ".png").
    if (name.isEmpty() || name == QStringLiteral(".png")) {
        return true;
    }
    // Paths and other placeholders (file names written to disk, such as an exported
    // conversation picture "<name>_MessageImage.png").
    if (name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('%')) ||
        name.startsWith(QLatin1Char('_'))) {
        return true;
    }
    return false;
}

TEST_F(NamedImageTest, EveryImageTheCodeAsksForExists) {
    const QString sourceDir = QStringLiteral(NIMBARA_SOURCE_DIR);
    int filesScanned = 0;
    const std::vector<ImageReference> references = referencedImageNames(sourceDir, &filesScanned);
    ASSERT_GT(filesScanned, 0) << "no sources under " << sourceDir.toStdString();
    // The scan must at least see this module's own users, or its patterns are broken.
    ASSERT_FALSE(references.empty());

    QStringList missing;
    for (const ImageReference& reference : references) {
        for (const QString& name : expandPattern(reference.name)) {
            if (isNotAnImageName(name)) {
                continue;
            }
            if (!hasNamedImage(name) || namedImage(name).isNull()) {
                missing.append(reference.file + QStringLiteral(": ") + name);
            }
        }
    }
    missing.removeDuplicates();
    EXPECT_TRUE(missing.isEmpty()) << missing.join(QLatin1Char('\n')).toStdString();
}

TEST(NamedImageScan, SeriesPatternsExpandToTheirFrames) {
    EXPECT_EQ(expandPattern(QStringLiteral("scaniphone%1.png")).size(), 6);
    EXPECT_EQ(expandPattern(QStringLiteral("cleaniphone%d.png")).size(), 7);
    EXPECT_EQ(expandPattern(QStringLiteral("cleaniphone%1.png")).last(),
              QStringLiteral("cleaniphone7.png"));
    EXPECT_EQ(expandPattern(QStringLiteral("Close_Nom.png")),
              QStringList{QStringLiteral("Close_Nom.png")});
    EXPECT_TRUE(isNotAnImageName(QStringLiteral("%1_MessageImage.png")));
    EXPECT_FALSE(isNotAnImageName(QStringLiteral("Close_Nom.png")));
}

}  // namespace
}  // namespace nimbara::ui

#include "app/page_group.h"
#include "app/protected_folders_box.h"
#include "platform/path_text.h"
#include "review/side_by_side_view.h"
#include "search/similar_sets.h"
#include "table/program_tables.h"
#include "support/cache_home.h"
#include "window_fixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>

using namespace quillmere;
using test::TempTree;

namespace {

class SimilarWindow : public test::WindowFixture {
protected:
    // A scene of large shapes, laid out by `seed`, so that distinct seeds give
    // pictures that look nothing alike and a resized copy keeps its look.
    static QImage scene(int seed, QSize size = QSize(640, 480))
    {
        QImage image(640, 480, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((seed * 67) % 360, 120, 200));
        QPainter painter(&image);
        painter.setPen(Qt::NoPen);
        for (int shape = 0; shape < 4; ++shape) {
            const int k = seed * 31 + shape * 17;
            painter.setBrush(QColor::fromHsv((k * 53) % 360, 255, 60 + (k * 29) % 190));
            const QRect place((k * 97) % 480, (k * 61) % 340, 120 + (k * 13) % 120, 100 + (k * 7) % 90);
            shape % 2 == 0 ? painter.drawEllipse(place) : painter.drawRect(place);
        }
        painter.end();
        return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    std::string save(const QImage &image, const std::string &name, int quality = 90)
    {
        const std::string path = tree.path(name);
        EXPECT_TRUE(image.save(QString::fromStdString(path), nullptr, quality)) << name;
        return path;
    }

    // Two sets (a large original with a smaller copy and a converted one),
    // a picture of its own and a file that is no picture.
    void writeSets()
    {
        tree.makeFolder("copies");
        sunset = save(scene(1), "sunset.jpg", 95);
        sunsetSmall = save(scene(1, QSize(320, 240)), "copies/sunset small.jpg");
        sunsetPng = save(scene(1, QSize(480, 360)), "copies/sunset.png");
        harbour = save(scene(2), "harbour.jpg", 95);
        harbourLow = save(scene(2), "copies/harbour q60.jpg", 60);
        lonely = save(scene(7), "lonely.jpg");
        broken
            = tree.writeFile("copies/broken \xff.jpg", "\xff\xd8\xff\xe0 no picture after all" + std::string(400, 'x'));
    }

    void similarSearch()
    {
        form.SimilarPicturesButton->setChecked(true);
        search("All pictures");
    }
    bool similarColumnVisible()
    {
        const TGridCustomColumn *column = form.DataGrid1->FindColumn(QStringLiteral("Similar"));
        return column != nullptr && column->Visible;
    }

    std::string sunset, sunsetSmall, sunsetPng, harbour, harbourLow, lonely, broken;
};

} // namespace

TEST_F(SimilarWindow, theOptionsPageOffersTheKindLevelAndTurnsBelowTheDesignedControls)
{
    // Identical files are the default; level and turns wait for similar pictures.
    EXPECT_TRUE(form.IdenticalFilesButton->isChecked());
    EXPECT_FALSE(form.SimilarityLevelBox->isEnabled());
    EXPECT_FALSE(form.TurnsCheckBox->isEnabled());
    SearchOptions options = form.ReadSearchOptions();
    EXPECT_FALSE(options.similarPictures);
    EXPECT_EQ(options.similarity.level, kDefaultSimilarityLevel);
    EXPECT_TRUE(options.similarity.turns);
    EXPECT_EQ(form.SimilarityLevelBox->count(), static_cast<int>(SimilarityLevels().size()));
    EXPECT_EQ(form.SimilarityLevelBox->currentText(), SimilarityLevelOf(kDefaultSimilarityLevel).name);
    for (const SimilarityLevelInfo &level : SimilarityLevels()) {
        EXPECT_TRUE(form.SimilarityLevelBox->toolTip().contains(level.description)) << level.word;
    }

    QTest::mouseClick(form.SimilarPicturesButton, Qt::LeftButton, Qt::NoModifier, QPoint(6, 8));
    EXPECT_TRUE(form.SimilarityLevelBox->isEnabled());
    EXPECT_TRUE(form.TurnsCheckBox->isEnabled());
    form.SimilarityLevelBox->setCurrentIndex(0);
    form.TurnsCheckBox->setChecked(false);
    options = form.ReadSearchOptions();
    EXPECT_TRUE(options.similarPictures);
    EXPECT_EQ(options.similarity.level, SimilarityLevels().front().level);
    EXPECT_FALSE(options.similarity.turns);
    EXPECT_GE(form.FingerprintWorkers, 1);
    EXPECT_TRUE(options.rememberPictures);
    form.RememberPicturesCheckBox->setChecked(false);
    EXPECT_FALSE(form.ReadSearchOptions().rememberPictures);

    // The designed controls stay where they were; the new ones sit below
    // them, apart from each other and above the Start panel.
    EXPECT_EQ(form.Edit1->pos(), QPoint(23, 32));
    EXPECT_EQ(form.CheckBox1->pos(), QPoint(22, 63));
    EXPECT_EQ(form.ComboBox1->pos(), QPoint(22, 83));
    EXPECT_EQ(form.CheckBox2->pos(), QPoint(22, 120));
    const std::vector<QWidget *> controls { form.Edit1, form.CheckBox1, form.ComboBox1, form.CheckBox2,
        form.IdenticalFilesButton, form.SimilarPicturesButton, form.SimilarityLevelLabel, form.SimilarityLevelBox,
        form.TurnsCheckBox, form.RememberPicturesCheckBox, form.ProtectedFolders };
    for (std::size_t a = 0; a < controls.size(); ++a) {
        EXPECT_LT(controls[a]->geometry().bottom(), form.Panel1->y()) << a;
        EXPECT_LT(controls[a]->geometry().right(), form.GroupBox3->width()) << a;
        for (std::size_t b = a + 1; b < controls.size(); ++b) {
            EXPECT_FALSE(controls[a]->geometry().intersects(controls[b]->geometry())) << a << " and " << b;
        }
    }
}

TEST_F(SimilarWindow, aSimilarSearchShowsItsColumnKeepsTheBestCopiesAndNamesUnreadableFiles)
{
    // With no set at all, the line still counts and names what was not read.
    lonely = save(scene(7), "lonely.jpg");
    tree.writeFile("broken.jpg", std::string(300, 'x'));
    similarSearch();
    EXPECT_EQ(form.DataGrid1->RowCount(), 0);
    EXPECT_EQ(form.Label3->text().toStdString(), "Found files: 2; 1 could not be read as a picture: broken.jpg");
    std::remove(tree.path("broken.jpg").c_str());

    writeSets();
    // Similar pictures differ in their bytes: hard links are not offered.
    form.HardLinksButton->setChecked(true);
    similarSearch();
    EXPECT_FALSE(form.HardLinksButton->isEnabled());
    EXPECT_TRUE(form.RadioButton1->isChecked());
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));
    ASSERT_EQ(form.DataGrid1->RowCount(), 5);
    EXPECT_TRUE(similarColumnVisible());
    EXPECT_LT(rowOf(lonely), 0);

    // The line names the unreadable file as a path is shown; the tool tip
    // holds its whole path.
    EXPECT_EQ(form.Label3->text().toStdString(), "Found files: 7; 1 could not be read as a picture: broken \\xFF.jpg");
    EXPECT_TRUE(form.Label3->toolTip().contains(ShownPath(broken))) << form.Label3->toolTip().toStdString();
    EXPECT_TRUE(form.KeepOneButton->toolTip().contains(QStringLiteral("best copy")));

    // Sorted by size, smallest first, no best copy leads its set; Keep One
    // still keeps exactly the originals.
    form.DataGrid1->HeaderClick(colSize);
    ASSERT_NE(rowOf(sunsetSmall), -1);
    form.KeepOneClick();
    for (const std::string &path : { sunset, harbour }) {
        EXPECT_FALSE(form.DataGrid1->CellAt(QStringLiteral("Del"), rowOf(path)).asBoolean()) << path;
    }
    for (const std::string &path : { sunsetSmall, sunsetPng, harbourLow }) {
        EXPECT_TRUE(form.DataGrid1->CellAt(QStringLiteral("Del"), rowOf(path)).asBoolean()) << path;
    }

    // An identical-file search hides the column, forgets the unreadable
    // files and keeps the first row of each set again.
    form.IdenticalFilesButton->setChecked(true);
    copyFile(lonely, "lonely copy.jpg");
    search("All pictures");
    ASSERT_EQ(form.DataGrid1->RowCount(), 2);
    EXPECT_TRUE(form.HardLinksButton->isEnabled());
    EXPECT_FALSE(similarColumnVisible());
    EXPECT_TRUE(form.Label3->toolTip().isEmpty());
    EXPECT_FALSE(form.Label3->text().contains(QStringLiteral("could not be read")));
    EXPECT_FALSE(form.KeepOneButton->toolTip().contains(QStringLiteral("best copy")));
    form.KeepOneClick();
    EXPECT_EQ(marks(), (std::vector<bool> { false, true }));
}

TEST_F(SimilarWindow, aThumbnailClickShowsTheRowBesideItsBestCopy)
{
    writeSets();
    similarSearch();
    form.PageControl1->setCurrentIndex(1);
    std::vector<std::pair<QSize, QSize>> compared;
    form2.ShowModal = [&](TForm2 &view) {
        EXPECT_TRUE(view.SideBySide->isVisibleTo(&view));
        EXPECT_FALSE(view.Image1->isVisibleTo(&view));
        const TSideBySideView &pair = *view.SideBySide;
        compared.emplace_back(
            QSize(pair.Left.Width(), pair.Left.Height()), QSize(pair.Right.Width(), pair.Right.Height()));
    };
    const auto shownFor = [&](const std::string &path) {
        compared.clear();
        const int row = rowOf(path);
        EXPECT_GE(row, 0) << path;
        clickCell(colPriv, row);
        return compared.size() == 1 ? compared.front() : std::pair<QSize, QSize> {};
    };
    EXPECT_EQ(shownFor(sunsetSmall), std::pair(QSize(640, 480), QSize(320, 240)));
    EXPECT_EQ(shownFor(sunsetPng), std::pair(QSize(640, 480), QSize(480, 360)));
    EXPECT_EQ(shownFor(harbourLow), std::pair(QSize(640, 480), QSize(640, 480)));
    EXPECT_TRUE(form2.SideBySide->rightCaption().contains(QStringLiteral("similarity ")));
    // The best copy is shown beside the second picture of its set.
    const std::pair<QSize, QSize> best = shownFor(sunset);
    EXPECT_EQ(best.first, QSize(640, 480));
    EXPECT_TRUE(best.second == QSize(320, 240) || best.second == QSize(480, 360));
    EXPECT_TRUE(form2.SideBySide->leftCaption().contains(QStringLiteral("best copy")));

    // After an identical-file search the view shows one picture, as ever.
    form.IdenticalFilesButton->setChecked(true);
    copyFile(lonely, "lonely copy.jpg");
    search("All pictures");
    form.PageControl1->setCurrentIndex(1);
    shownSizes.clear();
    form2.ShowModal = [this](TForm2 &view) {
        EXPECT_TRUE(view.Image1->isVisibleTo(&view));
        EXPECT_FALSE(view.SideBySide->isVisibleTo(&view));
        shownSizes.push_back(view.outerSize());
    };
    clickCell(colPriv, 0);
    EXPECT_EQ(shownSizes, (std::vector<QSize> { QSize(700, 525) }));
}

TEST_F(SimilarWindow, rememberedPicturesAreKeptOnlyWhenTheOptionIsTickedAndShowTheSameRows)
{
    TempTree cacheHome;
    const test::ScopedCacheHome home(cacheHome.root());
    const std::string database = cacheHome.path("quillmere/cache.sqlite");
    writeSets();
    // Every row's texts and the thumbnail it shows.
    const auto rows = [this] {
        std::vector<std::pair<std::string, QImage>> shown;
        for (int r = 0; r < form.DataGrid1->RowCount(); ++r) {
            std::string texts;
            for (const char *column : {"Dest", "Res", "Size", "Similar", "Group"}) {
                texts += form.DataGrid1->CellAt(QString::fromLatin1(column), r).text().toStdString() + "|";
            }
            shown.emplace_back(texts, form.ImageList1.Entry(form.DataGrid1->CellAt(QStringLiteral("Priv"), r).asInteger()));
        }
        return shown;
    };

    form.RememberPicturesCheckBox->setChecked(false);
    similarSearch();
    const auto plain = rows();
    ASSERT_EQ(plain.size(), 5u);
    EXPECT_FALSE(TempTree::exists(cacheHome.path("quillmere"))) << "nothing kept with the option off";

    form.RememberPicturesCheckBox->setChecked(true);
    similarSearch();
    EXPECT_EQ(rows(), plain);
    ASSERT_TRUE(TempTree::exists(database));
    similarSearch();
    EXPECT_EQ(rows(), plain) << "the same rows and thumbnails from the cache";
}

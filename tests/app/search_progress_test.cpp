#include "app/held_progress.h"
#include "app/main_window.h"
#include "app/still_progress.h"
#include "common/stop_flag.h"
#include "folders/folder_edit.h"
#include "platform/path_text.h"
#include "support/temp_tree.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <gtest/gtest.h>

using namespace quillmere;
using namespace quillmere::test;

namespace {

// The main window, noting what the search sets on the found page's labels
// and progress bar, each set applied at once to a shadow label and bar.
class RecordingForm : public TForm1 {
public:
    // As Start leaves the bar before the search sets it.
    RecordingForm() { shadowBar.setValue(0); }
    void setLabel1(const QString &text) override
    {
        shadowLabels[0] = ShownPathText(text);
        TForm1::setLabel1(text);
    }
    void setLabel3(const QString &text) override
    {
        shadowLabels[1] = ShownPathText(text);
        TForm1::setLabel3(text);
    }
    void setLabel4(const QString &text) override
    {
        shadowLabels[2] = ShownPathText(text);
        TForm1::setLabel4(text);
    }
    void setProgressMaximum(int maximum) override
    {
        TForm1::setProgressMaximum(maximum);
        SetProgressMaximum(shadowBar, maximum);
    }
    void setProgressPosition(int position) override
    {
        TForm1::setProgressPosition(position);
        SetProgressPosition(shadowBar, position);
    }

    // Whether the widgets show what was set last; says what differs.
    ::testing::AssertionResult showsTheLatest() const
    {
        const QLabel *labels[] = {Label1, Label3, Label4};
        for (int i = 0; i < 3; ++i) {
            if (labels[i]->text() != shadowLabels[i]) {
                return ::testing::AssertionFailure() << "label " << i << ": " << labels[i]->text().toStdString()
                                                     << " instead of " << shadowLabels[i].toStdString();
            }
        }
        if (ProgressBar1->value() != shadowBar.value() || ProgressBar1->maximum() != shadowBar.maximum()) {
            return ::testing::AssertionFailure() << "bar at " << ProgressBar1->value() << " of "
                                                 << ProgressBar1->maximum() << " instead of " << shadowBar.value()
                                                 << " of " << shadowBar.maximum();
        }
        return ::testing::AssertionSuccess();
    }

    QString shadowLabels[3];
    QProgressBar shadowBar;
};

class SearchProgress : public ::testing::Test {
protected:
    void SetUp() override
    {
        StopFlag = 1;
        // Thirty pairs of identical files, each pair of its own size, in folders.
        for (int i = 0; i < 60; ++i) {
            const std::string folder = "f" + std::to_string(i % 3);
            if (i < 3) {
                tree.makeFolder(folder);
            }
            tree.writeFile(folder + "/p" + std::to_string(i) + ".jpg", std::string(200 + i / 2, 'p'));
        }
        form.ThumbnailWorkers = 0;
        form.Edit1->setText(QString::fromStdString(tree.root()));
        form.ComboBox1->setCurrentIndex(form.ComboBox1->findText(QStringLiteral("*.jpg")));
        form.show();
        QCoreApplication::processEvents();
    }
    void TearDown() override { StopFlag = 1; }

    TempTree tree;
    RecordingForm form;
};

TEST_F(SearchProgress, everyHandlerRunAtAPumpReadsWhatTheSearchSetLast)
{
    int checks = 0;
    QTimer reader;
    reader.setInterval(0);
    QObject::connect(&reader, &QTimer::timeout, [&] {
        ++checks;
        EXPECT_TRUE(form.showsTheLatest()) << "check " << checks;
    });
    reader.start();
    form.BitBtn1Click();
    reader.stop();
    // Every stage pumped: listing, measuring, comparison and result rows.
    EXPECT_GT(checks, 60 + 60 + 58 + 60);
    EXPECT_EQ(form.Label1->text(), QStringLiteral("Finish"));
    EXPECT_EQ(form.Label3->text(), QStringLiteral("Found files: 60"));
    EXPECT_EQ(form.Label4->text(), QStringLiteral("Duplicates: 59"));
    EXPECT_EQ(form.ProgressBar1->value(), form.ProgressBar1->maximum());
    form.shadowLabels[0] = QStringLiteral("Finish");
    EXPECT_TRUE(form.showsTheLatest());
}

TEST_F(SearchProgress, aStopKeepsTheLastRowsTextsAndPosition)
{
    bool stopped = false;
    QTimer stopper;
    stopper.setInterval(0);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (!stopped && form.DataGrid1->RowCount() == 3) {
            stopped = true;
            form.BitBtn2Click();
        }
    });
    stopper.start();
    form.BitBtn1Click();
    stopper.stop();
    ASSERT_TRUE(stopped);
    // The fourth row was being shown when Stop was pressed: it is added and
    // its texts stand; the fifth row only moved the bar.
    ASSERT_EQ(form.DataGrid1->RowCount(), 4);
    const QString fourth = form.DataGrid1->CellAt(QStringLiteral("Dest"), 3).text();
    EXPECT_EQ(form.Label1->text(), QStringLiteral("File: ") + ShownPathText(fourth));
    EXPECT_EQ(form.Label4->text(), QStringLiteral("Duplicates: 3"));
    EXPECT_EQ(form.ProgressBar1->value(), 4);
    EXPECT_TRUE(form.showsTheLatest());
}

} // namespace

namespace {

TEST(HeldProgressBar, endsWhereSettingEveryValueAtOnceWouldHaveLeftIt)
{
    QLabel label1, label3, label4;
    QProgressBar held, direct;
    HeldProgress progress(&label1, &label3, &label4, &held);
    SetProgressMaximum(direct, 10);
    progress.setMaximum(10);
    using Step = std::function<void(HeldProgress &, QProgressBar &)>;
    const auto position = [](int value) -> Step {
        return [value](HeldProgress &p, QProgressBar &b) { p.setPosition(value), SetProgressPosition(b, value); };
    };
    const auto maximum = [](int value) -> Step {
        return [value](HeldProgress &p, QProgressBar &b) { p.setMaximum(value), SetProgressMaximum(b, value); };
    };
    // A maximum below the position clamps it, and a larger one after does
    // not bring it back; a maximum of 0 shows a still, full bar.
    for (const std::vector<Step> &steps : {std::vector<Step>{position(8), maximum(3), maximum(20)},
                                           std::vector<Step>{position(12), maximum(0)},
                                           std::vector<Step>{maximum(5), position(2), position(4)}}) {
        progress.hold();
        for (const Step &step : steps) {
            step(progress, direct);
        }
        progress.release();
EXPECT_EQ(held.value(), direct.value());
        EXPECT_EQ(held.maximum(), direct.maximum());
    }
    progress.hold();
    progress.setLabel(1, QStringLiteral("Found files: 7"));
    EXPECT_EQ(label3.text(), QString());
    EXPECT_THROW(progress.setMaximum(-1), std::exception);
    progress.release();
    EXPECT_EQ(label3.text(), QStringLiteral("Found files: 7"));
}

} // namespace

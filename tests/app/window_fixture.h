#pragma once

#include "app/main_window.h"
#include "common/stop_flag.h"
#include "folders/folder_edit.h"
#include "review/image_view_window.h"
#include "review/shell_recorder.h"
#include "table/data_grid_view.h"
#include "support/temp_tree.h"

#include <QComboBox>
#include <QImage>
#include <QStackedWidget>
#include <QTest>
#include <gtest/gtest.h>

namespace quillmere::test {

// The main window wired to an image view that records instead of blocking
// and to a shell that only writes down requests.
class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        StopFlag = 1;
        form.Form2 = &form2;
        form.ShellService = &shell;
        form2.ShowModal = [this](TForm2 &view) { shownSizes.push_back(view.outerSize()); };
        form.AskRemoveEveryCopy = [this](int sets, RemovalMethod) {
            askedSets.push_back(sets);
            return removeEveryCopy;
        };
        form.AskDeleteFromHardDrive = [this](int files) {
            askedHardDrive.push_back(files);
            return deleteFromHardDrive;
        };
        form.Edit1->setText(QString::fromStdString(tree.root()));
        form.resize(769, 530);
        form.show();
        QCoreApplication::processEvents();
    }
    void TearDown() override { StopFlag = 1; }

    // A picture file written by Qt's own encoders.
    std::string writePicture(const std::string &name, int width, int height, const char *format, int seed = 0)
    {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                image.setPixel(x, y, qRgb((x * 7 + seed * 40) & 255, (y * 5 + seed) & 255, (x + y + seed * 3) & 255));
            }
        }
        const std::string path = tree.path(name);
        EXPECT_TRUE(image.save(QString::fromStdString(path), format, 95));
        return path;
    }
    std::string copyFile(const std::string &from, const std::string &name)
    {
        return tree.writeFile(name, TempTree::readFile(from));
    }

    void search(const char *mask)
    {
        form.ComboBox1->setCurrentIndex(form.ComboBox1->findText(QString::fromLatin1(mask)));
        form.PageControl1->setCurrentIndex(0);
        form.BitBtn1Click();
    }
    int rowOf(const std::string &path)
    {
        for (int row = 0; row < form.DataGrid1->RowCount(); ++row) {
            if (form.DataGrid1->CellAt(QStringLiteral("Dest"), row).text() == QString::fromStdString(path)) {
                return row;
            }
        }
        return -1;
    }
    QString cell(const char *column, int row) { return form.DataGrid1->CellAt(QString::fromLatin1(column), row).text(); }
    // Every row's Del flag, in row order.
    std::vector<bool> marks()
    {
        std::vector<bool> out;
        for (int row = 0; row < form.DataGrid1->RowCount(); ++row) {
            out.push_back(form.DataGrid1->CellAt(QStringLiteral("Del"), row).asBoolean());
        }
        return out;
    }

    // Clicks the middle of a cell of the visible result table.
    void clickCell(int column, int row, Qt::MouseButton button = Qt::LeftButton)
    {
        QCoreApplication::processEvents(); // lets the table take its size
        form.DataGrid1View->scrollToRow(row);
        const QPoint point = form.DataGrid1View->layout().cellRect(column, row).center();
        QTest::mouseClick(form.DataGrid1View->viewport(), button, Qt::NoModifier, point);
    }

    TempTree tree;
    TForm1 form;
    TForm2 form2;
    RecordingShell shell;
    std::vector<QSize> shownSizes;
    // The question before removing every copy of a set: what it was asked
    // and what the user answers.
    std::vector<int> askedSets;
    bool removeEveryCopy = false;
    // The question before deleting from the hard drive: the counts it named
    // and what the user answers.
    std::vector<int> askedHardDrive;
    bool deleteFromHardDrive = true;
};

} // namespace quillmere::test

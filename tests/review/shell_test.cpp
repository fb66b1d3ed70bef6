#include "platform/errors.h"
#include "platform/path_text.h"
#include "review/shell.h"
#include "review/shell_recorder.h"
#include "table/data_grid.h"

#include <gtest/gtest.h>

// GIO names a struct member "signals", which Qt defines as a macro.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

using namespace quillmere;

namespace {

using Request = RecordingShell::Request;

// The path a file URI names, as GIO reads it back.
std::string pathOfUri(const QString &uri)
{
    gchar *path = g_filename_from_uri(uri.toLatin1().constData(), nullptr, nullptr);
    std::string result = path != nullptr ? path : "<not a file URI>";
    g_free(path);
    return result;
}

class ShellActions : public ::testing::Test {
protected:
    void SetUp() override
    {
        grid.addColumn<TGridTextColumn>(QStringLiteral("Dest"));
        grid.addColumn<TGridCheckBoxColumn>(QStringLiteral("Del"));
    }
    void addRow(const std::string &path)
    {
        grid.CellAt(QStringLiteral("Dest"), grid.AppendRows(1)).setText(pathToText(path));
    }

    TDataGrid grid {QStringLiteral("DataGrid1")};
    RecordingShell shell;
};

} // namespace

TEST(FolderPart, dropsTheFileNameAndKeepsALeadingOrDoubledSeparator)
{
    EXPECT_EQ(FolderPart("/photos/a.jpg"), "/photos");
    EXPECT_EQ(FolderPart("/home/u/photos/a.jpg"), "/home/u/photos");
    EXPECT_EQ(FolderPart("/a.jpg"), "/");
    EXPECT_EQ(FolderPart("//srv/share/a.jpg"), "//srv/share");
    EXPECT_EQ(FolderPart("//a.jpg"), "//");
    EXPECT_EQ(FolderPart("/photos//a.jpg"), "/photos//");
    EXPECT_EQ(FolderPart("photos/a.jpg"), "photos");
    EXPECT_EQ(FolderPart("/c:/a.jpg"), "/c:") << "a colon is an ordinary character";
    EXPECT_EQ(FolderPart("a.jpg"), "");
    EXPECT_EQ(FolderPart(""), "");
}

TEST(FileUriFromPath, escapesEveryByteSoTheShellGetsTheExactFile)
{
    EXPECT_EQ(FileUriFromPath("/photos/a b#1.jpg"), QStringLiteral("file:///photos/a%20b%231.jpg"));
    EXPECT_EQ(FileUriFromPath("/"), QStringLiteral("file:///"));
    const std::vector<std::string> paths = {"/tmp/\xff\xfe.jpg", "/tmp/caf\xc3\xa9.jpg", "/tmp/line\nbreak?.jpg",
                                            "/tmp/100%.jpg"};
    for (const std::string &path : paths) {
        const QString uri = FileUriFromPath(path);
        EXPECT_TRUE(uri.startsWith(QStringLiteral("file:///"))) << uri.toStdString();
        EXPECT_EQ(pathOfUri(uri), path);
    }
    EXPECT_EQ(FileUriFromPath("/tmp/\xff.jpg"), QStringLiteral("file:///tmp/%FF.jpg"));
    // Only absolute paths name a file without a current folder.
    EXPECT_EQ(FileUriFromPath("photos/a.jpg"), QString());
    EXPECT_EQ(FileUriFromPath(""), QString());
}

TEST_F(ShellActions, eachActionActsOnTheSelectedRowsFile)
{
    addRow("/photos/one.jpg");
    addRow("/photos/\xff two.jpg");
    addRow("/three.jpg");
    grid.SelectCell(0, 1);
    OpenSelectedFile(grid, shell);
    OpenSelectedFileFolder(grid, shell);
    ShowSelectedFileProperties(grid, shell);
    ASSERT_EQ(shell.calls.size(), 3u);
    EXPECT_EQ(shell.calls[0].request, Request::Open);
    EXPECT_EQ(pathOfUri(shell.calls[0].uri), "/photos/\xff two.jpg");
    EXPECT_EQ(shell.calls[1], (RecordingShell::Call {Request::Open, QStringLiteral("file:///photos")}));
    EXPECT_EQ(shell.calls[2].request, Request::Properties);
    EXPECT_EQ(pathOfUri(shell.calls[2].uri), "/photos/\xff two.jpg");

    // A file in the root opens the root folder itself.
    shell.calls.clear();
    grid.SelectCell(1, 2);
    OpenSelectedFileFolder(grid, shell);
    EXPECT_EQ(shell.calls, (std::vector<RecordingShell::Call> {{Request::Open, QStringLiteral("file:///")}}));
}

TEST_F(ShellActions, emptyTableRaisesListErrorBeforeTheShellIsAsked)
{
    ASSERT_EQ(grid.SelectedRowIndex(), -1);
    for (auto action : {&OpenSelectedFile, &OpenSelectedFileFolder, &ShowSelectedFileProperties}) {
        try {
            action(grid, shell);
            ADD_FAILURE() << "no error raised";
        } catch (const EListError &error) {
            EXPECT_EQ(error.message(), QStringLiteral("List index out of bounds (-1)"));
        }
    }
    EXPECT_TRUE(shell.calls.empty());
}

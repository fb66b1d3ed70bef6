#pragma once

#include "folders/folder_edit.h"
#include "imaging/image_list.h"
#include "platform/folder_set.h"
#include "review/keep_rules.h"
#include "imaging/thumbnails_ahead.h"
#include "removal/removal_pass.h"
#include "search/found_files.h"
#include "search/file_list.h"
#include "search/search_body.h"
#include "search/search_view.h"
#include "table/data_grid.h"

#include <QSet>
#include <QWidget>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QAction;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;

namespace quillmere {

class FileCache;
class Shell;
class TDataGridView;
class TFolderEdit;
class HeldProgress;
class PaintThrottle;
class TForm2;
class TForm3;
class TPageGroup;
class TPanel;
class ProtectedFoldersBox;

// The main window: a wizard of four pages without tabs (search options, found
// duplicates, removal, report). It owns every control, the three tables and
// the thumbnail list for the whole run.
class TForm1 : public QWidget, public SearchView {
    Q_OBJECT
public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    // Page flow and the run gate.
    void FormCreate();
    void FormResize();
    void BitBtn1Click(); // Start
    void BitBtn5Click(); // Next
    void BitBtn4Click(); // Back (all three)
    void BitBtn8Click(); // Exit
    void BitBtn2Click(); // Stop on the found page
    void BitBtn3Click(); // the hidden Stop

    // Marking, the image view and the shell actions on the found page.
    void BitBtn_2Click(); // Select All
    void BitBtn_3Click(); // Deselect All
    void BitBtn_1Click(); // Invert
    // Marks every file but one of each set ("Keep One", Ctrl+K): the first
    // row of each set after an identical-file search, each set's best copy
    // after a similar-picture search.
    void KeepOneClick();
    // Marks every copy of each set but the one `rule` keeps (the Keep menu);
    // InsideFolder first asks for the folder.
    void KeepRuleClick(KeepRule rule);
    // Marks every row whose file lies inside the selected row's folder (the
    // row's context menu).
    void MarkFolderClick();
    void DataGrid1CellClick(int ACol, int ARow);
    void DataGrid1CellDblClick(int ACol, int ARow);
    void Opencontainfolder1Click();
    void Execute1Click();
    void Properties1Click();
    // Shows the tree chooser; bound to nothing, like its design-time twin.
    void Edit1DblClick();

    // Removal of the marked files and the report.
    void BitBtn6Click();
    // Whether a removal pass is running; Start waits for it, and Delete
    // shows its report instead of starting another.
    bool removalRunning() const;

    // The other windows and services the handlers reach; set by the program
    // entry, replaced by tests.
    TForm2 *Form2 = nullptr;
    TForm3 *Form3 = nullptr;
    Shell *ShellService = nullptr;
    // Asked before a removal that would leave a set of identical files
    // without any copy; true removes them all. Tests replace it.
    std::function<bool(int sets, RemovalMethod method)> AskRemoveEveryCopy;
    // Asks for a folder (the Keep menu's folder rule); tests replace it.
    FolderDialog AskForFolder = platformFolderDialog;
    // Asked once before deleting marked files from the hard drive, unless the
    // question above was asked; true deletes them. Tests replace it.
    std::function<bool(int files)> AskDeleteFromHardDrive;
    // Threads that decode the result rows' thumbnails ahead of the rows; 0
    // decodes each on this thread as its row is added. Tests set it.
    int ThumbnailWorkers = ThumbnailWorkersForThisMachine();
    // Threads that read the pictures of a similar-picture search. Tests set it.
    int FingerprintWorkers;

    // The options page as the next search reads it.
    SearchOptions ReadSearchOptions() const;
    // The cache of pictures, opened when first asked for; none when it
    // cannot be used (it then says why on standard error, once).
    FileCache *pictureCache();

    // Page 0: search options.
    QStackedWidget *PageControl1;
    QWidget *TabSheet1;
    TPageGroup *GroupBox3;
    TFolderEdit *Edit1;
    QCheckBox *CheckBox1;
    QComboBox *ComboBox1;
    QCheckBox *CheckBox2;
    // What counts as a duplicate, and with similar pictures how alike.
    QRadioButton *IdenticalFilesButton;
    QRadioButton *SimilarPicturesButton;
    QLabel *SimilarityLevelLabel;
    QComboBox *SimilarityLevelBox;
    QCheckBox *TurnsCheckBox;
    QCheckBox *RememberPicturesCheckBox;
    // "Never remove from": folders whose files are never removed.
    ProtectedFoldersBox *ProtectedFolders;
    TPanel *Panel1;
    QPushButton *BitBtn1;
    QLabel *Image1;
    QPushButton *BitBtn3;

    // Page 1: found duplicates.
    QWidget *TabSheet2;
    TPageGroup *GroupBox2;
    TDataGridView *DataGrid1View;
    TPanel *Panel2;
    QProgressBar *ProgressBar1;
    QLabel *Label1;
    QLabel *Label3;
    QLabel *Label4;
    QPushButton *BitBtn5;
    QPushButton *BitBtn4;
    QPushButton *BitBtn2;
    QPushButton *BitBtn_1;
    QPushButton *BitBtn_2;
    QPushButton *BitBtn_3;
    QPushButton *KeepOneButton;
    // "Keep...": the menu of rules for the copy that stays.
    QPushButton *KeepRuleButton;
    QMenu *KeepRulesMenu;
    QMenu *PopupMenu1;
    QAction *Opencontainfolder1;
    QAction *Execute1;
    QAction *Properties1;
    QAction *MarkFolderItem;

    // Page 2: removal.
    QWidget *TabSheet3;
    TPageGroup *GroupBox1;
    QRadioButton *RadioButton1;
    QRadioButton *RadioButton2;
    // Beside the two methods: replace each marked file by a hard link to a
    // copy kept; not offered after a similar-picture search.
    QRadioButton *HardLinksButton;
    // How many files are marked, the space their removal frees and the sets
    // that would lose every copy, for the method chosen.
    QLabel *RemovalSummaryLabel;
    TPanel *Panel3;
    QPushButton *BitBtn6;
    QPushButton *BitBtn7;

    // Page 3: report.
    QWidget *TabSheet4;
    TPageGroup *GroupBox4;
    QPlainTextEdit *Memo3;
    TPanel *Panel4;
    QProgressBar *ProgressBar2;
    QLabel *Label2;
    QPushButton *BitBtn8;
    QPushButton *BitBtn9;

    // The thumbnail list the result table draws from.
    TImageList ImageList1;
    // The tables: the visible result table and the search's two working lists.
    std::unique_ptr<TDataGrid> DataGrid1;
    std::unique_ptr<TDataGrid> DataGrid2;
    std::unique_ptr<TDataGrid> DataGrid3;

    // The search's file list, never shown.
    FileList Memo1;
    // The sets of the last search as it read them, in its own order (a
    // similar-picture set's best copy first), so the removal can tell
    // whether a file changed since and whether a copy is kept, and Keep One
    // and the image view find each set's best copy whatever the table's sort.
    FoundFileRecord FoundFiles;
    // Whether the table holds the results of a similar-picture search.
    bool similarResults() const { return similarResults_; }

    int currentPage() const;

    // Whether the file of a result row (by index in the current order) lies
    // in a protected folder: shown with a lock, never marked, never removed.
    bool rowProtected(int row) const;

    // How the search shows its progress on the found page.
    void setLabel1(const QString &text) override;
    void setLabel3(const QString &text) override;
    void setLabel4(const QString &text) override;
    void setProgressMaximum(int maximum) override;
    void setProgressPosition(int position) override;
    void pumpMessages() override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildOptionsPage();
    void buildDuplicateKindChoice();
    void buildFoundPage();
    void buildRemovalPage();
    void buildReportPage();
    void bindHandlers();
    void showPage(int index);
    void runSearchBody();
    // Sets the found page up for the results of the search just started.
    void beginResults(bool similar);
    // The method chosen on the removal page.
    RemovalMethod removalMethod() const;
    // A removal of the marked rows as they stand now by the method.
    RemovalPlan planRemoval(RemovalMethod method);
    // Tells on the removal page what Delete would do with the marks as they stand.
    void updateRemovalSummary();
    // Names the pictures the similar search could not read in Label3.
    void showUnreadablePictures(const std::vector<std::string> &paths);
    // Resolves the protected folders of the options page and finds the
    // found files inside them; a row that becomes protected loses its mark.
    void refreshProtectedRows();
    void findProtectedFiles();
    RowLocked lockedRows() const;

    // Counts the closes of the window, so a search pumping messages can tell
    // that the window was closed meanwhile.
    unsigned closeCount_ = 0;
    // Counts the searches started, so a search pumping messages can tell that
    // a newer one ran meanwhile.
    unsigned searchCount_ = 0;
    // The thumbnail work of the search filling the result table, if any: a
    // new search or a close cancels it at once.
    ThumbnailsAhead *thumbnailsAhead_ = nullptr;
    // The found page's labels, progress bar and table paint at most about
    // sixty times a second while a search sets them for every file.
    std::unique_ptr<PaintThrottle> searchPaints_;
    // What the search last set on Label1, Label3, Label4 and ProgressBar1,
    // kept until the window paints them or runs a handler.
    std::unique_ptr<HeldProgress> heldProgress_;
    // What was read of each picture, kept between searches; opened at the
    // first search that asks for it.
    std::unique_ptr<FileCache> pictureCache_;
    bool removalRunning_ = false;
    bool similarResults_ = false;
    // The protected folders as last resolved, and the path texts of the
    // found files inside them.
    FolderSet protection_;
    QSet<QString> protectedPaths_;
};

} // namespace quillmere

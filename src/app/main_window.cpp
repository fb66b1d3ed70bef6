#include "app/main_window.h"

#include "platform/file_cache.h"

#include "common/error_report.h"
#include "app/every_copy_question.h"
#include "app/held_progress.h"
#include "app/hard_drive_question.h"
#include "app/removal_folders_box.h"
#include "app/still_progress.h"
#include "platform/absolute_path.h"
#include "app/page_group.h"
#include "app/paint_throttle.h"
#include "app/protected_folders_box.h"
#include "common/stop_flag.h"
#include "folders/folder_edit.h"
#include "imaging/picture_formats.h"
#include "platform/errors.h"
#include "platform/file_cache.h"
#include "platform/path_text.h"
#include "platform/processor_count.h"
#include "removal/removal_pass.h"
#include "review/image_view_window.h"
#include "review/keep_one.h"
#include "review/keep_rules.h"
#include "review/marking.h"
#include "review/shell.h"
#include "review/side_by_side_view.h"
#include "review/similar_comparison.h"
#include "review/unreadable_pictures.h"
#include "folders/folder_chooser_window.h"
#include "search/result_stage.h"
#include "search/search_body.h"
#include "table/data_grid_view.h"
#include "table/program_tables.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QStackedWidget>
#include <QStyle>

namespace quillmere {

namespace {

QPushButton *glyphButton(const QString &caption, QStyle::StandardPixmap glyph, QSize glyphSize, QWidget *parent,
                         QRect geometry)
{
    auto *button = new QPushButton(caption, parent);
    button->setIcon(parent->style()->standardIcon(glyph));
    button->setIconSize(glyphSize);
    button->setGeometry(geometry);
    return button;
}

// A progress bar 17 pixels high along the top of its panel.
QProgressBar *panelProgressBar(TPanel *panel)
{
    auto *bar = new QProgressBar(panel);
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setGeometry(0, 0, 0, 17);
    panel->spanWidth(bar);
    return bar;
}

// The desktop's font may be wider than the one the sizes were made for: a
// caption is never cut short.
void fitCaption(QAbstractButton *button)
{
    button->resize(qMax(button->width(), button->sizeHint().width()), button->height());
}

// A label of fixed height spanning its panel's width.
QLabel *fixedLabel(TPanel *parent, QRect geometry)
{
    auto *label = new QLabel(parent);
    label->setGeometry(geometry);
    parent->spanWidth(label);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

// What Keep One does with the results of either kind of search.
QString keepOneToolTip(bool similar)
{
    if (similar) {
        return QStringLiteral(
            "Mark every picture except the best copy of each set of similar pictures (Ctrl+K).\nThe best copy is "
            "the one with the most pixels, then the largest file, then the oldest, whatever the table's order.");
    }
    return QStringLiteral(
        "Mark every file except one in each set of identical files (Ctrl+K).\nThe first row of each set in the "
        "table's current order stays unmarked: sort the table first to choose which copy is kept.");
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : QWidget(parent)
    , FingerprintWorkers(UsableProcessorCount())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quillmere"));
    // The controls are laid out in pixels for an 11-pixel UI font.
    QFont base = font();
    base.setPixelSize(11);
    setFont(base);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Button);

    PageControl1 = new QStackedWidget(this);
    TabSheet1 = new QWidget;
    TabSheet2 = new QWidget;
    TabSheet3 = new QWidget;
    TabSheet4 = new QWidget;
    for (QWidget *page : {TabSheet1, TabSheet2, TabSheet3, TabSheet4}) {
        PageControl1->addWidget(page);
    }

    DataGrid1 = makeResultGrid(&ImageList1);
    DataGrid2 = makeCandidateGrid();
    DataGrid3 = makePairGrid();

    buildOptionsPage();
    buildFoundPage();
    buildRemovalPage();
    buildReportPage();
    bindHandlers();
    searchPaints_ = std::make_unique<PaintThrottle>(this);
    heldProgress_ = std::make_unique<HeldProgress>(Label1, Label3, Label4, ProgressBar1);

    move(226, 108);
    resize(769, 530);
    FormCreate();
}

TForm1::~TForm1() = default;

void TForm1::buildOptionsPage()
{
    GroupBox3 = new TPageGroup(QStringLiteral("Options of the search :"), TabSheet1);

    Edit1 = new TFolderEdit(GroupBox3);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    QFont editFont = Edit1->font();
    editFont.setPixelSize(13);
    Edit1->setFont(editFont);
    Edit1->setGeometry(23, 32, 350, 24);
    // The start folder is the user's home, the usual place of their pictures.
    Edit1->setText(pathToText(QDir::homePath().toStdString()));

    CheckBox1 = new QCheckBox(QStringLiteral("Search in subdirectories"), GroupBox3);
    CheckBox1->setGeometry(22, 63, 161, 17);
    CheckBox1->setChecked(true);

    ComboBox1 = new QComboBox(GroupBox3);
    ComboBox1->setGeometry(22, 83, 145, 22);
    ComboBox1->addItems(PictureMaskEntries());
    ComboBox1->setCurrentIndex(0);

    CheckBox2 = new QCheckBox(QStringLiteral("Excluded system folders"), GroupBox3);
    CheckBox2->setGeometry(22, 120, 137, 17);
    CheckBox2->setChecked(true);
    fitCaption(CheckBox1);
    fitCaption(CheckBox2);
    buildDuplicateKindChoice();

    Panel1 = GroupBox3->bottomPanel();
    BitBtn1 = glyphButton(QStringLiteral("Start"), QStyle::SP_MediaPlay, QSize(22, 22), Panel1, {0, 66, 75, 26});

    // Hidden: the holder of the picture that stands in for broken JPEG files,
    // and a second Stop button that is never visible.
    Image1 = new QLabel(GroupBox3);
    Image1->setGeometry(584, 109, 100, 80);
    Image1->hide();
    BitBtn3 = glyphButton(QStringLiteral("Stop"), QStyle::SP_MediaStop, QSize(20, 20), GroupBox3, {368, 184, 75, 25});
    BitBtn3->hide();
}

void TForm1::buildDuplicateKindChoice()
{
    // Below the designed controls: what counts as a duplicate. Identical
    // files are the designed search and stay the default.
    IdenticalFilesButton = new QRadioButton(QStringLiteral("Identical files"), GroupBox3);
    IdenticalFilesButton->setObjectName(QStringLiteral("IdenticalFilesButton"));
    IdenticalFilesButton->setGeometry(22, 150, 161, 17);
    IdenticalFilesButton->setChecked(true);
    SimilarPicturesButton = new QRadioButton(QStringLiteral("Similar pictures"), GroupBox3);
    SimilarPicturesButton->setObjectName(QStringLiteral("SimilarPicturesButton"));
    SimilarPicturesButton->setGeometry(22, 172, 161, 17);
    const QString kindTip = QStringLiteral(
        "What counts as a duplicate.\nIdentical files: byte-for-byte copies of the same file.\nSimilar pictures: the "
        "same photo resized, re-encoded, converted to another format, cropped a little, lighter or darker, or "
        "turned.");
    for (QRadioButton *button : {IdenticalFilesButton, SimilarPicturesButton}) {
        button->setToolTip(kindTip);
        fitCaption(button);
    }

    SimilarityLevelLabel = new QLabel(QStringLiteral("Similarity:"), GroupBox3);
    SimilarityLevelLabel->setGeometry(40, 197, 70, 17);
    SimilarityLevelBox = new QComboBox(GroupBox3);
    SimilarityLevelBox->setObjectName(QStringLiteral("SimilarityLevelBox"));
    SimilarityLevelBox->setGeometry(112, 194, 161, 22);
    QStringList levelTips;
    for (const SimilarityLevelInfo &info : SimilarityLevels()) {
        SimilarityLevelBox->addItem(info.name, static_cast<int>(info.level));
        levelTips << info.name + QStringLiteral(": ") + info.description;
    }
    SimilarityLevelBox->setCurrentIndex(SimilarityLevelBox->findData(static_cast<int>(kDefaultSimilarityLevel)));
    SimilarityLevelBox->setToolTip(QStringLiteral("How alike two pictures must be to count as copies:\n")
                                   + levelTips.join(QLatin1Char('\n')));
    SimilarityLevelLabel->setToolTip(SimilarityLevelBox->toolTip());

    TurnsCheckBox = new QCheckBox(QStringLiteral("Include turned and mirrored copies"), GroupBox3);
    TurnsCheckBox->setObjectName(QStringLiteral("TurnsCheckBox"));
    TurnsCheckBox->setGeometry(40, 224, 230, 17);
    TurnsCheckBox->setChecked(true);
    TurnsCheckBox->setToolTip(
        QStringLiteral("Also count a copy turned by 90, 180 or 270 degrees, or mirrored, as a copy."));
    fitCaption(TurnsCheckBox);

    // The level and the turns only mean something for similar pictures.
    const auto enableSimilarityControls = [this](bool similar) {
        SimilarityLevelLabel->setEnabled(similar);
        SimilarityLevelBox->setEnabled(similar);
        TurnsCheckBox->setEnabled(similar);
    };
    connect(SimilarPicturesButton, &QRadioButton::toggled, this, enableSimilarityControls);
    enableSimilarityControls(false);

    RememberPicturesCheckBox = new QCheckBox(QStringLiteral("Remember pictures between searches"), GroupBox3);
    RememberPicturesCheckBox->setObjectName(QStringLiteral("RememberPicturesCheckBox"));
    RememberPicturesCheckBox->setGeometry(22, 252, 250, 17);
    RememberPicturesCheckBox->setChecked(true);
    RememberPicturesCheckBox->setToolTip(QStringLiteral(
        "Keep each picture's thumbnail and what a search read of it in your cache folder (%1), so that searching "
        "the same pictures again is fast. A picture changed since is read again.")
                                             .arg(pathToText(DefaultFileCacheFolder())));
    fitCaption(RememberPicturesCheckBox);

    ProtectedFolders = new ProtectedFoldersBox(GroupBox3);
    ProtectedFolders->setGeometry(22, 278, 433, 80);
    connect(ProtectedFolders, &ProtectedFoldersBox::changed, this,
            [this] { runReportingErrors([this] { refreshProtectedRows(); }); });
}

FileCache *TForm1::pictureCache()
{
    if (!pictureCache_) {
        pictureCache_ = std::make_unique<FileCache>(DefaultFileCacheFolder());
    }
    return pictureCache_->enabled() ? pictureCache_.get() : nullptr;
}

void TForm1::buildFoundPage()
{
    GroupBox2 = new TPageGroup(QStringLiteral("Found:"), TabSheet2);
    DataGrid1View = new TDataGridView(*DataGrid1, GroupBox2);
    DataGrid1View->setObjectName(QStringLiteral("DataGrid1"));
    GroupBox2->setFillWidget(DataGrid1View);

    Panel2 = GroupBox2->bottomPanel();
    ProgressBar1 = panelProgressBar(Panel2);
    Label1 = fixedLabel(Panel2, {0, 17, 0, 15});
    Label3 = fixedLabel(Panel2, {0, 32, 0, 15});
    Label4 = fixedLabel(Panel2, {0, 47, 0, 15});

    BitBtn5 = glyphButton(QStringLiteral("Next"), QStyle::SP_ArrowForward, QSize(18, 20), Panel2, {0, 66, 75, 26});
    BitBtn5->setToolTip(QStringLiteral("Delete selected files"));
    BitBtn4 = glyphButton(QStringLiteral("Back"), QStyle::SP_ArrowBack, QSize(18, 20), Panel2, {77, 66, 75, 26});
    BitBtn2 = glyphButton(QStringLiteral("Stop"), QStyle::SP_MediaStop, QSize(20, 20), Panel2, {154, 66, 75, 26});

    BitBtn_1 = new QPushButton(QStringLiteral("Invert"), Panel2);
    BitBtn_2 = new QPushButton(QStringLiteral("Select All"), Panel2);
    BitBtn_3 = new QPushButton(QStringLiteral("Deselect All"), Panel2);
    for (QPushButton *button : {BitBtn_1, BitBtn_2, BitBtn_3}) {
        button->setGeometry(0, 20, 75, 25);
    }
    // Below the three marking buttons, on the row of Next, Back and Stop.
    KeepOneButton = new QPushButton(QStringLiteral("Keep One"), Panel2);
    KeepOneButton->setObjectName(QStringLiteral("KeepOneButton"));
    KeepOneButton->setGeometry(0, 66, 2 * 75, 26);
    KeepOneButton->setToolTip(keepOneToolTip(false));
    // Beside it, the rules for which copy stays.
    KeepRuleButton = new QPushButton(QStringLiteral("Keep..."), Panel2);
    KeepRuleButton->setObjectName(QStringLiteral("KeepRuleButton"));
    KeepRuleButton->setGeometry(0, 66, 75, 26);
    KeepRuleButton->setToolTip(QStringLiteral(
        "Mark every copy of each set but the one a rule keeps. Where copies are alike by the rule, the first in "
        "the table's current order stays; files of protected folders are never marked."));
    KeepRulesMenu = new QMenu(KeepRuleButton);
    for (const KeepRuleInfo &info : KeepRules()) {
        QAction *item = KeepRulesMenu->addAction(info.caption);
        item->setData(static_cast<int>(info.rule));
    }
    KeepRuleButton->setMenu(KeepRulesMenu);

    PopupMenu1 = new QMenu(this);
    Opencontainfolder1 = PopupMenu1->addAction(QStringLiteral("Open contain folder"));
    Execute1 = PopupMenu1->addAction(QStringLiteral("Execute"));
    Properties1 = PopupMenu1->addAction(QStringLiteral("Properties"));
    MarkFolderItem = PopupMenu1->addAction(QStringLiteral("Mark every copy inside this folder"));
    DataGrid1View->setPopupMenu(PopupMenu1);

    // Tab goes from the table through the buttons as they are seen: the
    // marking row left to right, then Next, Back, Stop and Keep One.
    QWidget *previous = DataGrid1View;
    for (QWidget *next : std::initializer_list<QWidget *> {BitBtn_3, BitBtn_2, BitBtn_1, BitBtn5, BitBtn4, BitBtn2,
                                                           KeepOneButton}) {
        setTabOrder(previous, next);
        previous = next;
    }
}

void TForm1::buildRemovalPage()
{
    GroupBox1 = new TPageGroup(QStringLiteral("Delete duplicates:"), TabSheet3);
    RadioButton1 = new QRadioButton(QStringLiteral("Delete to the Recycle bin"), GroupBox1);
    RadioButton1->setGeometry(16, 32, 150, 17);
    RadioButton1->setChecked(true);
    RadioButton2 = new QRadioButton(QStringLiteral("Delete from hard drive"), GroupBox1);
    RadioButton2->setGeometry(16, 56, 150, 17);
    RadioButton2->setToolTip(QStringLiteral(
        "Overwrites each marked file three times with random bytes, then deletes it.\n"
        "On copy-on-write file systems (btrfs, ZFS) and on flash drives that move what they write,\n"
        "the old bytes may stay on the device however often the file is overwritten."));
    // Below the two designed methods, where nothing else is.
    HardLinksButton = new QRadioButton(QStringLiteral("Replace with hard links"), GroupBox1);
    HardLinksButton->setObjectName(QStringLiteral("HardLinksButton"));
    HardLinksButton->setGeometry(16, 80, 150, 17);
    HardLinksButton->setToolTip(QStringLiteral(
        "Makes each marked file a hard link to an unmarked identical copy on the same file system:\n"
        "every path keeps working and the space of the marked copies is freed.\n"
        "Not offered after a search for similar pictures, whose files differ."));
    fitCaption(RadioButton1);
    fitCaption(RadioButton2);
    fitCaption(HardLinksButton);
    RemovalSummaryLabel = new QLabel(GroupBox1);
    RemovalSummaryLabel->setObjectName(QStringLiteral("RemovalSummaryLabel"));
    RemovalSummaryLabel->setGeometry(16, 112, 560, 45);
    RemovalSummaryLabel->setTextFormat(Qt::PlainText);
    RemovalSummaryLabel->setWordWrap(true);
    RemovalSummaryLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    for (QRadioButton *button : {RadioButton1, RadioButton2, HardLinksButton}) {
        connect(button, &QRadioButton::toggled, this, [this](bool on) {
            if (on) {
                updateRemovalSummary();
            }
        });
    }
    connect(PageControl1, &QStackedWidget::currentChanged, this, [this](int page) {
        if (page == 2) {
            updateRemovalSummary();
        }
    });

    Panel3 = GroupBox1->bottomPanel();
    BitBtn6 = glyphButton(QStringLiteral("Delete"), QStyle::SP_TrashIcon, QSize(20, 20), Panel3, {0, 66, 75, 26});
    BitBtn7 = glyphButton(QStringLiteral("Back"), QStyle::SP_ArrowBack, QSize(18, 20), Panel3, {77, 66, 75, 26});
}

void TForm1::buildReportPage()
{
    GroupBox4 = new TPageGroup(QStringLiteral("Report:"), TabSheet4);
    Memo3 = new QPlainTextEdit(GroupBox4);
    Memo3->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo3->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    GroupBox4->setFillWidget(Memo3);

    Panel4 = GroupBox4->bottomPanel();
    ProgressBar2 = panelProgressBar(Panel4);
    Label2 = fixedLabel(Panel4, {0, 17, 0, 38});
    BitBtn8 = glyphButton(QStringLiteral("Exit"), QStyle::SP_DialogCloseButton, QSize(20, 20), Panel4, {0, 66, 75, 26});
    BitBtn9 = glyphButton(QStringLiteral("Back"), QStyle::SP_ArrowBack, QSize(18, 20), Panel4, {77, 66, 75, 26});
}

void TForm1::bindHandlers()
{
    // Every handler runs under the error report, whichever control raises it.
    const auto bindTo = [this](auto *sender, auto signal, void (TForm1::*handler)()) {
        connect(sender, signal, this, [this, handler] { runReportingErrors([&] { (this->*handler)(); }); });
    };
    const auto bind = [&](QPushButton *button, void (TForm1::*handler)()) {
        bindTo(button, &QPushButton::clicked, handler);
    };
    const auto bindItem = [&](QAction *item, void (TForm1::*handler)()) {
        bindTo(item, &QAction::triggered, handler);
    };
    bind(BitBtn1, &TForm1::BitBtn1Click);
    // Return in the folder field starts the search, as Start does.
    bindTo(Edit1, &QLineEdit::returnPressed, &TForm1::BitBtn1Click);
    bind(BitBtn5, &TForm1::BitBtn5Click);
    bind(BitBtn4, &TForm1::BitBtn4Click);
    bind(BitBtn7, &TForm1::BitBtn4Click);
    bind(BitBtn9, &TForm1::BitBtn4Click);
    bind(BitBtn8, &TForm1::BitBtn8Click);
    bind(BitBtn2, &TForm1::BitBtn2Click);
    bind(BitBtn3, &TForm1::BitBtn3Click);
    bind(BitBtn_1, &TForm1::BitBtn_1Click);
    bind(BitBtn_2, &TForm1::BitBtn_2Click);
    bind(BitBtn_3, &TForm1::BitBtn_3Click);
    bind(KeepOneButton, &TForm1::KeepOneClick);
    // Ctrl+K works wherever the focus is, but only while the found page shows.
    auto *keepOneKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_K), this);
    connect(keepOneKey, &QShortcut::activated, this, [this] {
        if (currentPage() == 1) {
            runReportingErrors([this] { KeepOneClick(); });
        }
    });
    bind(BitBtn6, &TForm1::BitBtn6Click);

    bindItem(Opencontainfolder1, &TForm1::Opencontainfolder1Click);
    bindItem(Execute1, &TForm1::Execute1Click);
    bindItem(Properties1, &TForm1::Properties1Click);
    bindItem(MarkFolderItem, &TForm1::MarkFolderClick);
    connect(KeepRulesMenu, &QMenu::triggered, this, [this](QAction *item) {
        runReportingErrors([&] { KeepRuleClick(static_cast<KeepRule>(item->data().toInt())); });
    });
    DataGrid1View->rowLocked = [this](int row) { return rowProtected(row); };

    DataGrid1View->OnCellClick = [this](int column, int row) {
        runReportingErrors([&] { DataGrid1CellClick(column, row); });
    };
    DataGrid1View->OnCellDblClick = [this](int column, int row) {
        runReportingErrors([&] { DataGrid1CellDblClick(column, row); });
    };
}

int TForm1::currentPage() const
{
    return PageControl1->currentIndex();
}

void TForm1::showPage(int index)
{
    if (index < 0 || index >= PageControl1->count()) {
        return;
    }
    PageControl1->setCurrentIndex(index);
    // The keyboard starts where the page's work starts: the folder, the
    // found files, the chosen method, Exit.
    QWidget *first = nullptr;
    switch (index) {
    case 0:
        first = Edit1;
        break;
    case 1:
        first = DataGrid1View;
        break;
    case 2:
        for (QRadioButton *method : GroupBox1->findChildren<QRadioButton *>()) {
            if (method->isChecked()) {
                first = method;
            }
        }
        break;
    default:
        first = BitBtn8;
        break;
    }
    if (first != nullptr) {
        first->setFocus(Qt::OtherFocusReason);
    }
}

void TForm1::FormCreate()
{
    // The pages have no tabs at all; the wizard starts on the options page.
    showPage(0);
    Edit1->setButtonCaption(QStringLiteral("Browse"));
    Edit1->setButtonWidth(70);
    Edit1->resize(Edit1->width(), 25);
}

void TForm1::FormResize()
{
    // The selection buttons keep to the right edge, placed from the window's
    // outer width; a negative position is applied as it is.
    const int outerWidth = frameGeometry().width();
    const int w = 75;
    BitBtn_1->move(outerWidth - w - 25, BitBtn_1->y());
    BitBtn_2->move(outerWidth - 2 * w - 25, BitBtn_2->y());
    BitBtn_3->move(outerWidth - 3 * w - 25, BitBtn_3->y());
    // Right-aligned under them with Keep... before it, but never over Stop
    // when the window is narrow.
    const int stopRight = BitBtn2->geometry().right() + 1;
    const int keepOneLeft =
        qMax(stopRight + 2 + KeepRuleButton->width() + 2, outerWidth - KeepOneButton->width() - 25);
    KeepOneButton->move(keepOneLeft, KeepOneButton->y());
    KeepRuleButton->move(keepOneLeft - 2 - KeepRuleButton->width(), KeepRuleButton->y());
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    PageControl1->setGeometry(rect());
    runReportingErrors([this] { FormResize(); });
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // A running search is abandoned at its next pump (see pumpMessages);
    // StopFlag stays the Stop buttons' own.
    ++closeCount_;
    if (thumbnailsAhead_ != nullptr) {
        thumbnailsAhead_->cancel();
    }
    QWidget::closeEvent(event);
}

void TForm1::BitBtn1Click()
{
    // A search would empty the report of a removal still running.
    if (removalRunning_) {
        return;
    }
    showPage(currentPage() + 1);
    StopFlag ^= 1;
    // What a running search kept for the labels is older than this.
    heldProgress_->discard();
    Label1->clear();
    Label3->clear();
    Label4->clear();
    SetProgressPosition(*ProgressBar1, 0);
    if (StopFlag == 1) {
        return;
    }
    runSearchBody();
}

void TForm1::runSearchBody()
{
    ++searchCount_;
    // A search still filling its table is abandoned at its pump; its
    // thumbnail work ends now, not when that pump returns.
    if (thumbnailsAhead_ != nullptr) {
        thumbnailsAhead_->cancel();
    }
    SearchContext context{*this, Memo1, *DataGrid1, *DataGrid2, *DataGrid3, {}, {}, {}, {}, {}, {}, {}, {}, {}, 1};
    context.clearReport = [this] { Memo3->clear(); };
    context.clearThumbnails = [this] {
        ImageList1.Clear();
        FoundFiles.clear();
    };
    context.fillResults = [this, &context] {
        FoundFiles.fill(*DataGrid3, context.setSizes, context.foundFiles);
        findProtectedFiles();
        return FillResultRowsWithThumbnails(*DataGrid3, *DataGrid1, Memo1.count(), context.setSizes, *this,
                                            ImageList1, ThumbnailWorkers, &thumbnailsAhead_, context.cache);
    };
    context.fillSimilarResults = [this, &context] {
        // The found page keeps what the search found, in its own order, for
        // Keep One and the image view, whatever the table's sort does; rows
        // can be clicked while they are still being added.
        const SimilarSearchResult &found = context.similar;
        FoundFiles.fill(found);
        findProtectedFiles();
        if (!FillSimilarResultRows(found, *DataGrid1, Memo1.count(), *this, ImageList1, ThumbnailWorkers,
                                   &thumbnailsAhead_, context.cache)) {
            return false;
        }
        showUnreadablePictures(found.unreadable);
        return true;
    };
    context.readOptions = [this, &context] {
        SearchOptions options = ReadSearchOptions();
        protection_ = FolderSet(options.protectedFolders);
        protectedPaths_.clear();
        context.cache = options.rememberPictures ? pictureCache() : nullptr;
        beginResults(options.similarPictures);
        return options;
    };
    context.fingerprintWorkers = FingerprintWorkers;
    // What interrupted removals left is finished during the search and
    // shown once it has ended.
    std::vector<LeftoverResult> leftovers;
    context.finishRemovalFolders = [&leftovers](const std::vector<std::string> &folders) {
        leftovers = FinishLeftovers(folders);
    };
    const unsigned closesBefore = closeCount_;
    {
        searchPaints_->hold();
        heldProgress_->hold();
        const auto painting = qScopeGuard([this] {
            heldProgress_->release();
            searchPaints_->release();
        });
        RunSearchBody(context);
    }
    if (!leftovers.empty() && closeCount_ == closesBefore) {
        ShowRemovalFoldersBox(this, leftovers);
    }
}

SearchOptions TForm1::ReadSearchOptions() const
{
    SearchOptions options;
    options.recurse = CheckBox1->isChecked();
    options.mask = ComboBox1->currentText();
    options.folder = AbsoluteFolder(textToPath(Edit1->text()));
    options.excludeSystemFolders = CheckBox2->isChecked();
    options.similarPictures = SimilarPicturesButton->isChecked();
    const QVariant level = SimilarityLevelBox->currentData();
    options.similarity.level = level.isValid() ? static_cast<SimilarityLevel>(level.toInt()) : kDefaultSimilarityLevel;
    options.similarity.turns = TurnsCheckBox->isChecked();
    options.rememberPictures = RememberPicturesCheckBox->isChecked();
    options.protectedFolders = ProtectedFolders->folders();
    return options;
}

void TForm1::beginResults(bool similar)
{
    // The table was emptied just before; what it will hold decides the
    // Similarity column and what Keep One and the image view do.
    similarResults_ = similar;
    Label3->setToolTip(QString());
    KeepOneButton->setToolTip(keepOneToolTip(similar));
    // Similar pictures differ in their bytes: a link would change what a path shows.
    if (similar && HardLinksButton->isChecked()) {
        RadioButton1->setChecked(true);
    }
    HardLinksButton->setEnabled(!similar);
    if (TGridCustomColumn *column = DataGrid1->FindColumn(QStringLiteral("Similar"))) {
        column->Visible = similar;
    }
    DataGrid1->Repaint();
}

RemovalMethod TForm1::removalMethod() const
{
    if (HardLinksButton->isChecked() && HardLinksButton->isEnabled()) {
        return RemovalMethod::HardLinks;
    }
    return RadioButton2->isChecked() ? RemovalMethod::HardDrive : RemovalMethod::RecycleBin;
}

RemovalPlan TForm1::planRemoval(RemovalMethod method)
{
    RemovalPlan plan = PlanRemoval(*DataGrid1, FoundFiles, method);
    // The folders as the options page names them now, and as they were
    // when the rows were locked, in case one was replaced since.
    plan.protectedFolders = FolderSet(ProtectedFolders->folders());
    plan.protectedFolders.add(protection_);
    return plan;
}

void TForm1::updateRemovalSummary()
{
    const RemovalMethod method = removalMethod();
    const RemovalSummary summary = SummarizeRemoval(planRemoval(method));
    RemovalSummaryLabel->setText(RemovalSummaryText(summary, method));
}

void TForm1::showUnreadablePictures(const std::vector<std::string> &paths)
{
    const UnreadableNotice notice = UnreadablePicturesNotice(paths);
    if (notice.line.isEmpty()) {
        return;
    }
    // After the count the rows show, also when there is no row to show it
    // and the line still holds the last file compared.
    setLabel3(QStringLiteral("Found files: ") + QString::number(Memo1.count()) + QStringLiteral("; ") + notice.line);
    Label3->setToolTip(notice.toolTip);
}

// During a search these only keep the values (see HeldProgress); the
// widgets take them when the window paints or runs a handler.
void TForm1::setLabel1(const QString &text)
{
    heldProgress_->setLabel(0, text);
}

void TForm1::setLabel3(const QString &text)
{
    heldProgress_->setLabel(1, text);
}

void TForm1::setLabel4(const QString &text)
{
    heldProgress_->setLabel(2, text);
}

void TForm1::setProgressMaximum(int maximum)
{
    heldProgress_->setMaximum(maximum);
    // A stage begins: its first state is shown at its first pump.
    searchPaints_->paintAtNextMessages();
}

void TForm1::setProgressPosition(int position)
{
    heldProgress_->setPosition(position);
}

void TForm1::pumpMessages()
{
    // The window can only be closed, and a new search only start, while
    // messages run, so a close or a start seen after this pump happened during
    // it: the search that pumped is abandoned. A search started here has
    // already run to its end and filled the tables afresh; the one that pumped
    // must not add to them.
    const unsigned closesBefore = closeCount_;
    const unsigned searchesBefore = searchCount_;
    if (searchPaints_->beforeMessages()) {
        heldProgress_->apply();
    }
    heldProgress_->messagesBegin();
    QCoreApplication::processEvents();
    heldProgress_->messagesEnd();
    searchPaints_->afterMessages();
    if (closeCount_ != closesBefore) {
        throw SearchAbandoned();
    }
    if (searchCount_ != searchesBefore) {
        throw SearchAbandoned{true};
    }
}

// ---- Marking -----------------------------------------------------------------

RowLocked TForm1::lockedRows() const
{
    return [this](int row) { return rowProtected(row); };
}

bool TForm1::rowProtected(int row) const
{
    if (protectedPaths_.isEmpty() || row < 0 || row >= DataGrid1->RowCount()) {
        return false;
    }
    const TGridCustomColumn *dest = DataGrid1->FindColumn(QStringLiteral("Dest"));
    const auto *text = std::get_if<QString>(&DataGrid1->peek(dest->Index(), row));
    return text != nullptr && protectedPaths_.contains(*text);
}

void TForm1::findProtectedFiles()
{
    protectedPaths_.clear();
    if (protection_.empty()) {
        return;
    }
    // Files of one folder share the answer: each folder is looked up once.
    QHash<QString, bool> folderAnswers;
    for (int set = 0; set < FoundFiles.setCount(); ++set) {
        for (const FoundFileRecord::Member &member : FoundFiles.members(set)) {
            const std::string path = textToPath(member.pathText);
            const QString folder = pathToText(FolderOfPath(path));
            auto answer = folderAnswers.find(folder);
            if (answer == folderAnswers.end()) {
                answer = folderAnswers.insert(folder, protection_.holds(path));
            }
            if (*answer) {
                protectedPaths_.insert(member.pathText);
            }
        }
    }
}

void TForm1::refreshProtectedRows()
{
    protection_ = FolderSet(ProtectedFolders->folders());
    findProtectedFiles();
    for (int row = 0; row < DataGrid1->RowCount(); ++row) {
        if (rowProtected(row) && DataGrid1->CellAt(QStringLiteral("Del"), row).asBoolean()) {
            SetMark(*DataGrid1, row, false, {});
        }
    }
    DataGrid1->Repaint();
}

void TForm1::BitBtn_2Click()
{
    MarkEveryRow(*DataGrid1, BulkMark::All, lockedRows());
}

void TForm1::BitBtn_3Click()
{
    MarkEveryRow(*DataGrid1, BulkMark::None, lockedRows());
}

void TForm1::BitBtn_1Click()
{
    MarkEveryRow(*DataGrid1, BulkMark::Invert, lockedRows());
}

void TForm1::KeepOneClick()
{
    if (similarResults_) {
        MarkAllButTheBestCopies(*DataGrid1, FoundFiles, lockedRows());
    } else {
        MarkAllButOneInEachSet(*DataGrid1, lockedRows());
    }
}

void TForm1::KeepRuleClick(KeepRule rule)
{
    if (rule != KeepRule::InsideFolder) {
        MarkAllButTheKeptCopies(*DataGrid1, FoundFiles, rule, lockedRows());
        return;
    }
    const QString chosen = AskForFolder(this, QStringLiteral("Select folder"), QString());
    if (chosen.isEmpty()) {
        return;
    }
    const FolderSet folder({textToPath(chosen)});
    MarkAllButTheKeptCopies(*DataGrid1, FoundFiles, rule, lockedRows(), &folder);
}

void TForm1::MarkFolderClick()
{
    const int row = DataGrid1->SelectedRowIndex();
    if (row < 0 || row >= DataGrid1->RowCount()) {
        return;
    }
    const std::string path = textToPath(DataGrid1->CellAt(QStringLiteral("Dest"), row).text());
    MarkEveryRowInside(*DataGrid1, FolderSet({FolderOfPath(path)}), lockedRows());
}

// ---- Image view and shell actions ----------------------------------------------

void TForm1::DataGrid1CellClick(int ACol, int /*ARow*/)
{
    if (Form2 == nullptr) {
        return;
    }
    Form2->setOuterSize(700, 450);
    if (ACol != colPriv) {
        return;
    }
    try {
        const QString path = DataGrid1->CellAt(QStringLiteral("Dest"), DataGrid1->SelectedRowIndex()).text();
        // After a similar-picture search the row's picture is compared with
        // its set's best copy.
        if (similarResults_ && LoadComparison(*Form2->SideBySide, FoundFiles, path)) {
            Form2->showSideBySide();
            const TSideBySideView &view = *Form2->SideBySide;
            const QSize size = SideBySideViewSizeFor(QSize(view.Left.Width(), view.Left.Height()),
                                                     QSize(view.Right.Width(), view.Right.Height()),
                                                     view.captionHeight());
            Form2->setOuterSize(size.width(), size.height());
            Form2->keepOnScreen();
            Form2->ShowModal(*Form2);
            return;
        }
        Form2->showOnePicture();
        LoadPictureByExtension(Form2->Image1->Picture, textToPath(path));
        const QSize size = ImageViewSizeFor(Form2->Image1->Picture.Width(), Form2->Image1->Picture.Height());
        Form2->setOuterSize(size.width(), size.height());
        Form2->ShowModal(*Form2);
    } catch (const std::exception &) {
        // A picture that cannot be shown (gone, unknown kind, damaged) opens
        // nothing and reports nothing.
    }
}

void TForm1::DataGrid1CellDblClick(int /*ACol*/, int /*ARow*/)
{
    Execute1Click();
}

void TForm1::Execute1Click()
{
    OpenSelectedFile(*DataGrid1, *ShellService);
}

void TForm1::Opencontainfolder1Click()
{
    OpenSelectedFileFolder(*DataGrid1, *ShellService);
}

void TForm1::Properties1Click()
{
    ShowSelectedFileProperties(*DataGrid1, *ShellService);
}

void TForm1::Edit1DblClick()
{
    if (Form3 != nullptr) {
        Form3->exec();
    }
}

// ---- Removal -------------------------------------------------------------------

namespace {
// The report page as the removal pass sees it.
class ReportPages : public RemovalView {
public:
    explicit ReportPages(TForm1 &form)
        : form_(form)
    {
    }
    void addReportLine(const QString &line) override { form_.Memo3->appendPlainText(line); }
    void setProgressMaximum(int maximum) override
    {
        SetProgressMaximum(*form_.ProgressBar2, maximum);
    }
    void setProgressPosition(int position) override { SetProgressPosition(*form_.ProgressBar2, position); }
    void processMessages() override { QCoreApplication::processEvents(); }

private:
    TForm1 &form_;
};
} // namespace

bool TForm1::removalRunning() const
{
    return removalRunning_;
}

void TForm1::BitBtn6Click()
{
    // The running pass works from its own plan; a second one would only
    // race it for the same files and cut its report in two. Delete leads
    // back to the running pass's report instead.
    if (removalRunning_) {
        showPage(3);
        return;
    }
    const RemovalMethod method = removalMethod();
    RemovalPlan plan = planRemoval(method);
    // Sets that would lose every copy go only when the user says so; a
    // cancelled question touches nothing and stays on this page. A link
    // loses no content, so it asks nothing.
    const std::vector<int> losing =
        method == RemovalMethod::HardLinks ? std::vector<int> {} : SetsLosingEveryCopy(plan);
    // Deleting from the hard drive cannot be undone: asked once, and not
    // again after the question about the last copies.
    const int files = SummarizeRemoval(plan).files;
    if (method == RemovalMethod::HardDrive && losing.empty() && files > 0) {
        const bool remove =
            AskDeleteFromHardDrive ? AskDeleteFromHardDrive(files) : AskToDeleteFromHardDrive(this, files);
        if (!remove) {
            return;
        }
    }
    if (!losing.empty()) {
        const int sets = static_cast<int>(losing.size());
        const bool removeAll =
            AskRemoveEveryCopy ? AskRemoveEveryCopy(sets, method) : AskToRemoveEveryCopy(this, sets, method);
        if (!removeAll) {
            return;
        }
        plan.everyCopyConfirmed.insert(losing.begin(), losing.end());
    }
    Memo3->clear();
    showPage(currentPage() + 1);
    // While the pass runs, Start waits: a new search would empty the report
    // of files already removed.
    removalRunning_ = true;
    BitBtn1->setEnabled(false);
    const auto done = qScopeGuard([this] {
        removalRunning_ = false;
        BitBtn1->setEnabled(true);
    });
    ReportPages pages(*this);
    RemoveMarkedFiles(plan, pages);
}

// ---- Page flow -----------------------------------------------------------------

void TForm1::BitBtn5Click()
{
    showPage(currentPage() + 1);
}

void TForm1::BitBtn4Click()
{
    showPage(currentPage() - 1);
}

void TForm1::BitBtn8Click()
{
    close();
}

void TForm1::BitBtn2Click()
{
    StopFlag ^= 1;
}

void TForm1::BitBtn3Click()
{
    StopFlag = 1;
}

} // namespace quillmere

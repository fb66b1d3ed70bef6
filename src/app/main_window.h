#pragma once

#include "table/data_grid.h"

#include <QWidget>
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

class TFolderEdit;
class TPageGroup;
class TPanel;

// The main window: a wizard of four pages without tabs (search options, found
// duplicates, removal, report). It owns every control, the three tables and
// the thumbnail list for the whole run.
class TForm1 : public QWidget {
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

    // Page 0: search options.
    QStackedWidget *PageControl1;
    QWidget *TabSheet1;
    TPageGroup *GroupBox3;
    TFolderEdit *Edit1;
    QCheckBox *CheckBox1;
    QComboBox *ComboBox1;
    QCheckBox *CheckBox2;
    TPanel *Panel1;
    QPushButton *BitBtn1;
    QLabel *Image1;
    QPushButton *BitBtn3;

    // Page 1: found duplicates.
    QWidget *TabSheet2;
    TPageGroup *GroupBox2;
    QWidget *DataGrid1View;
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
    QMenu *PopupMenu1;
    QAction *Opencontainfolder1;
    QAction *Execute1;
    QAction *Properties1;

    // Page 2: removal.
    QWidget *TabSheet3;
    TPageGroup *GroupBox1;
    QRadioButton *RadioButton1;
    QRadioButton *RadioButton2;
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

    // The tables: the visible result table and the search's two working lists.
    std::unique_ptr<TDataGrid> DataGrid1;
    std::unique_ptr<TDataGrid> DataGrid2;
    std::unique_ptr<TDataGrid> DataGrid3;

    int currentPage() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildOptionsPage();
    void buildFoundPage();
    void buildRemovalPage();
    void buildReportPage();
    void bindHandlers();
    void showPage(int index);
    void runSearchBody();
};

} // namespace quillmere

#pragma once
// The main window: the scan section (drive panel and index run) above, the find section
// (search box, options, results) below, and its own title bar, clock, border lines,
// pop-up bottom bar and drop shadows in place of a system frame. Built in parts:
// frmMain_Layout.cpp (the controls), frmMain.cpp (load, buttons, commands, closing),
// frmMain_Chrome.cpp (title, clock, shadows, bottom bar), frmMain_Drives.cpp (the drive
// panel and the index run).

#include "indexer/DriveCatalogue.h"
#include "indexer/IndexRun.h"
#include "search/SearchService.h"
#include "ui/UiState.h"
#include "ui/main/DrivePanel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <QToolButton>

#include <QWidget>

#include <array>
#include <memory>

class QMenu;

namespace qvl::ui {

class ResultsPane;
class ARGradient;
class ClickLabel;
class Shape;
class frmShadow;

class frmMain : public QWidget {
    Q_OBJECT
public:
    // `commandLine`: the program's argument text, searched for as one folder name.
    frmMain(ui::UiState& state, indexer::DriveCatalogue catalogue, QString commandLine = {});
    ~frmMain() override;

    // The load, in its fifteen steps; run once by Main before the window is shown.
    void Form_Load();
    // Whether the index was never built (Files.dat missing); then the first-run message
    // box is shown over the window. Sets IsFirstRun.
    void CheckFirstRun();
    // Runs one of "find", "stop", "index", "help", "about", "history" (exact case).
    void FakePress(const QString& command);

    // Scan section and drive panel.
    void SetDrivesDesc();
    void MarkAllDrives(int32_t type);
    void ClearAllForm();
    void SetFrameTag();
    void RefreshIndexState();
    QCheckBox* driveBox(char letter) const { return m_drives.box(letter); }
    const DrivePanel& drives() const { return m_drives; }
    // Whether an index run is under way (its walk runs on a worker thread).
    bool indexRunning() const { return m_indexThread != nullptr; }

    // Search: mode 1 containing, 2 exact. One asked for while one runs ends that one
    // where it is and follows it. A search as the text is typed (`typed`) adds nothing
    // to the history: a pause in the typing does (see searchAsTyped).
    void GoSearch(int16_t mode, bool typed = false);
    // Opens the folder of results line `row` (the first line during the start-up search).
    void OpenExplorer(int64_t row);
    // The menu of results line `row`: Open, Show in its parent folder (where the file
    // manager can), Copy path, Open a terminal here. Made on demand, gone once closed.
    QMenu* resultMenu(int64_t row);
    void AddSearchHistory(const QString& text);
    void showSearchHistory();

    // Quick menu, keyboard map and gestures.
    void ShowQuickMenu(int xTwips, int yTwips);
    void Egg2(int16_t n);
    // Shows or hides the two section numbers, each by its own state.
    void toggleSectionNumbers();
    void Label2_DblClick();
    QWidget* sectionNumber(int number) const;

    // Chrome.
    void SetFormGFX();
    void ShowTime();
    void PositionShadows();
    void SyncShadows();
    void LoadHiddenTexts();
    static QString Unscramble(const QString& text);
    // Shows the bottom bar for a pointer at (x, y) twips on the window's surface.
    void hoverAt(int xTwips, int yTwips);

    // Title bar.
    ARGradient* ARGradient1;
    QLabel* lblTitle;
    ClickLabel* lblTimeDate;
    QPushButton* cmdMinimize;
    QPushButton* cmdClose;

    // Scan section.
    QComboBox* cboPreset;
    QToolButton *cmdSetup, *cmdHelp2, *cmdAbout, *cmdScan;
    Shape* shMark;
    QLabel* lblSearchPath;

    // Find section.
    ClickLabel* lblFindDirectory;
    QLineEdit* txtSearchString;
    ClickLabel* imgHistorySearch;
    ClickLabel* lblHistory;
    QToolButton *cmdGoSearch, *cmdPanic;
    QGroupBox *fSearchOpt, *fSearchDrives;
    QRadioButton *Option1, *Option2, *Option3, *Option4;
    QLabel* Label2;
    Shape* Shape4;
    ui::ResultsPane* rTxt1;
    QLineEdit* txtDir;
    QLabel* lblInfo;
    ClickLabel* lblEmail;

    // Bottom bar and timers.
    QWidget* tb1;
    ARGradient* ARGradient3;
    Shape *circ1, *circ2;
    QTimer* Timer1;
    QTimer* tFlash;

public slots:
    void cmdScan_Click();
    void cmdSetup_Click();
    void cmdPanic_Click();
    void cmdGoSearch_Click();
    void cmdClose_Click();
    void cmdMinimize_Click();
    void cboPreset_Click();
    void Timer1_Timer();
    void tFlash_Timer();

signals:
    // An index run ended and the window shows its outcome.
    void indexRunFinished();

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectSearch();
    void connectGestures();
    // The keyboard map; true when the key was one of its own.
    bool handleMapKey(QKeyEvent* event);
    void mousePressEvent(QMouseEvent* event) override;
    // Runs a search the way the search box and the button do: tags, busy pointer, run.
    void searchFromBox();
    void runStartupSearch();
    // F9 and Stop: they end whatever runs, the search or the index run; pressed while
    // nothing runs, they are forgotten.
    void requestStop();
    bool m_searching = false;
    bool m_searchStop = false; // the search's own stop, apart from the index run's
    bool m_indexAsked = false; // the index run's question is up
    int16_t m_nextSearch = -1; // the mode of a search asked for while one ran
    bool m_nextTyped = false;  // and whether it came from typing
    void runSearch(int16_t mode, bool typed);
    // Results as you type: each edit of the box starts a search; a pause of
    // kHistoryPauseMs in the typing adds the text to the history.
    void searchAsTyped(const QString& text);
    static constexpr int kHistoryPauseMs = 1500;
    QTimer* m_historyPause = nullptr;
    QString m_lastAdded;            // what the history got last from this window
    QString m_pauseAdded;           // what a pause added since the last edit
    search::SearchService m_search; // the search runs on its worker
    DrivePanel m_drives;            // chkC .. chkZ

    void buildLayout();
    void buildTitleBar();
    void buildScanSection();
    void buildFindSection();
    void buildBottomBar();
    void connectChrome();
    void finishIndexRun(const indexer::IndexRunResult& result);
    void setTitleColors(bool focused);

    ui::UiState& m_state;
    indexer::DriveCatalogue m_catalogue;
    QString m_commandLine;
    QList<ARGradient*> m_gradients; // ARGradient1 .. ARGradient7, for the closing sequence
    QWidget *m_line3 = nullptr, *m_line4 = nullptr, *m_line5 = nullptr;
    frmShadow* m_shadowX = nullptr;
    frmShadow* m_shadowY = nullptr;
    QThread* m_indexThread = nullptr;
    QWidget *m_part1 = nullptr, *m_part2 = nullptr;
    std::unique_ptr<indexer::IndexRunResult> m_indexResult;
};

} // namespace qvl::ui

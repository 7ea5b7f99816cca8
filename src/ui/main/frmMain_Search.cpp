// The find section of the main window: the search box and its keys, the search run
// around the engine's cursor, the results pane, opening a folder, the history.
#include "platform/Platform.h"
#include "search/Search.h"
#include "store/History.h"
#include "store/IndexStore.h"
#include "ui/dialogs/Messages.h"
#include "ui/dialogs/frmHistorySearch.h"
#include "ui/dialogs/frmMessage.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/FolderOpener.h"
#include "ui/kit/Widgets.h"
#include "ui/main/ResultsPane.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>

namespace qvl::ui {

namespace {

const QString kPlaceholder = "Enter Text Here.";

void yield() {
    QCoreApplication::processEvents();
}

// An index that cannot be read is no fault of the search text: say what is wrong with
// it and how to mend it.
// The window's one line says what to do; the log gets what is wrong, with the file.
void showIndexUnreadable(ui::UiState& state, const search::SearchService& search) {
    qWarning("%s", search.message().c_str());
    if (search.error() == search::SearchError::Untrusted)
        ShowErrorMessage(state, "Index not trusted", "Others may change it: see the log.", true, true);
    else
        ShowErrorMessage(state, search.error() == search::SearchError::Damaged ? "Index damaged" : "No index",
                         "Index the drives again to rebuild it.", true, true);
}

} // namespace

void frmMain::connectSearch() {
    // The box's keys reach eventFilter through the application-wide filter: a filter of
    // its own as well would run every key twice (and every F3 search twice).
    connect(txtSearchString, &QLineEdit::textChanged, this,
            [this](const QString& text) { cmdGoSearch->setEnabled(!text.isEmpty()); });
    m_historyPause = new QTimer(this);
    m_historyPause->setSingleShot(true);
    m_historyPause->setInterval(kHistoryPauseMs);
    connect(m_historyPause, &QTimer::timeout, this, [this] {
        const QString text = txtSearchString->text();
        if (!text.isEmpty() && text != kPlaceholder && text != m_lastAdded) {
            AddSearchHistory(text);
            m_pauseAdded = text;
        }
    });
    // Only the user's edits, not the texts the program puts there.
    connect(txtSearchString, &QLineEdit::textEdited, this, &frmMain::searchAsTyped);
    connect(rTxt1, &ui::ResultsPane::rowActivated, this, [this](int64_t row) {
        ShowMessage(m_state, "Openning Explorer", "please wait", false, false);
        OpenExplorer(row);
        CloseMessage(m_state);
    });
    connect(rTxt1, &ui::ResultsPane::menuRequested, this,
            [this](int64_t row, QPoint at) { resultMenu(row)->popup(at); });
    connect(rTxt1, &ui::ResultsPane::pointerMoved, this, [this] {
        if (tb1->isVisible())
            tb1->hide();
    });
    connect(lblHistory, &ClickLabel::clicked, this, &frmMain::showSearchHistory);
    connect(imgHistorySearch, &ClickLabel::doubleClicked, this, &frmMain::showSearchHistory);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    // Key preview: the window's own keys come first, whichever of its controls has the
    // focus. A key of the map is taken where it is first delivered, so it never reaches
    // a parent a second time.
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == this && handleMapKey(static_cast<QKeyEvent*>(event)))
        return true;
    if (event->type() == QEvent::MouseButtonPress && watched == lblTitle &&
        static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        ShowQuickMenu(static_cast<int>(mouse->position().x() * 15),
                      static_cast<int>(mouse->position().y() * 15));
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick && watched == Label2) {
        Label2_DblClick();
        return true;
    }
    if (watched != txtSearchString)
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonPress && txtSearchString->text() == kPlaceholder) {
        txtSearchString->clear();
    } else if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (txtSearchString->text().endsWith(kPlaceholder))
            txtSearchString->clear(); // before the key's character goes in
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            !txtSearchString->text().isEmpty() && store::IndexHasRows(m_state.DbConnect)) {
            if (!indexRunning()) // like the Find button, which is off meanwhile
                searchFromBox();
            return true;
        }
    } else if (event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat() && (key->key() == Qt::Key_F9 || key->key() == Qt::Key_F3) &&
            store::IndexHasRows(m_state.DbConnect)) {
            if (key->key() == Qt::Key_F9)
                requestStop();
            else if (key->modifiers() == Qt::NoModifier && !indexRunning())
                searchFromBox();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::searchFromBox() {
    SetFrameTag();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    GoSearch(static_cast<int16_t>(fSearchOpt->property("Tag").toInt()));
    QGuiApplication::restoreOverrideCursor();
}

void frmMain::cmdGoSearch_Click() {
    SetFrameTag();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    GoSearch(static_cast<int16_t>(fSearchOpt->property("Tag").toInt()));
    QGuiApplication::restoreOverrideCursor();
    cmdGoSearch->setFocus();
}

void frmMain::GoSearch(int16_t mode, bool typed) {
    if (!typed)
        m_historyPause->stop(); // this search adds its text itself
    if (m_searching) {
        // A new search while one runs: that one ends where it is, and this one follows.
        m_searchStop = true;
        m_nextSearch = mode;
        m_nextTyped = typed;
        return;
    }
    m_nextTyped = typed;
    for (int16_t next = mode; next >= 0;) {
        m_nextSearch = -1;
        runSearch(next, m_nextTyped);
        next = m_nextSearch;
    }
}

void frmMain::searchAsTyped(const QString& text) {
    if (!m_state.AsYouType || m_state.IsFirstRun || indexRunning())
        return;
    if (text.isEmpty() || text == kPlaceholder) {
        m_historyPause->stop();
        if (m_searching) {
            m_searchStop = true;
            m_nextSearch = -1;
        }
        rTxt1->showPlaceholder();
        return;
    }
    m_historyPause->start();
    m_pauseAdded.clear();
    if (!store::IndexHasRows(m_state.DbConnect))
        return;
    SetFrameTag();
    GoSearch(static_cast<int16_t>(fSearchOpt->property("Tag").toInt()), /*typed=*/true);
}

void frmMain::runSearch(int16_t mode, bool typed) {
    m_searching = true;
    const QString text = txtSearchString->text(); // the box may change while it runs
    m_searchStop = false;                         // a stop pressed before this search is not for it
    qint64 start = QDateTime::currentSecsSinceEpoch();
    auto* notice = qobject_cast<frmMessage*>(m_state.notice.data());
    auto noticeLine = [&](const char* text) {
        if (m_state.StartupSearch && notice)
            notice->lblmsg1->setText(text);
    };
    noticeLine("Searching");
    yield();
    if (m_state.IsFirstRun) {
        m_searching = false;
        return;
    }
    cmdGoSearch->setEnabled(false);
    yield();
    lblInfo->setText("Searching.");
    yield();
    int32_t rows = 0;

    search::SearchQuery query;
    query.text = text.toStdString();
    query.mode = mode;
    query.allDrives = fSearchDrives->property("Tag").toInt() != 2;
    query.drives = m_drives.tickedLetters();
    if (m_search.start(m_state.DbConnect, query) != search::SearchError::None) {
        QGuiApplication::restoreOverrideCursor();
        if (m_search.error() == search::SearchError::WrongCriteria)
            ShowErrorMessage(m_state, "Error", "Wrong Criteria", true, true);
        else
            showIndexUnreadable(m_state, m_search);
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        start = QDateTime::currentSecsSinceEpoch();
    } else {
        lblInfo->setText("Searching..");
        noticeLine("Searching.");
        yield();
        lblInfo->setText("Searching...");
        noticeLine("Searching..");
        yield();
        rTxt1->clear();
        // The scan runs on the search's worker; here the hits go into the pane as they
        // come, with the event loop run every few milliseconds, so the window never waits
        // for the scan and F9 is read at once. Not after every batch: the worker hands
        // hits over a few hundred at a time, and running the loop that often took longer
        // than listing millions of them.
        QElapsedTimer sinceYield;
        sinceYield.start();
        auto yieldNow = [&] {
            rTxt1->flush();
            yield();
            sinceYield.restart();
        };
        char currentDrive = '?';
        size_t header = 0; // the length of the current drive's root, for its group's first line
        search::SearchService::Batch batch;
        while (!m_searchStop && m_search.take(batch, std::chrono::milliseconds(10))) {
            for (size_t i = 0; i < batch.size() && !m_searchStop; ++i) {
                bool startsGroup = batch.drives[i] != currentDrive;
                if (startsGroup) {
                    currentDrive = batch.drives[i];
                    const indexer::Drive* drive = m_catalogue.find(currentDrive);
                    header = drive ? drive->root.size() : 3;
                    if (drive && !drive->root.empty() && drive->root.back() != platform::kSeparator)
                        ++header;
                }
                rTxt1->addRow(batch.path(i), header, startsGroup, currentDrive);
                ++rows;
                if (rows % 256 == 0 && sinceYield.elapsed() >= 8)
                    yieldNow();
            }
            // The first hits show at once.
            if (static_cast<size_t>(rows) == batch.size() || sinceYield.elapsed() >= 8)
                yieldNow();
        }
        if (m_searchStop)
            m_search.cancel();
        rTxt1->flush();
        if (!m_searchStop && m_search.error() != search::SearchError::None) {
            QGuiApplication::restoreOverrideCursor();
            showIndexUnreadable(m_state, m_search);
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        } else if (rows == 0 && !m_searchStop) {
            rTxt1->showNoResults();
        }
        yield();
    }
    qint64 seconds = QDateTime::currentSecsSinceEpoch() - start;
    QString prefix = seconds == 0 ? " <" : "";
    seconds = std::max<qint64>(seconds, 1);
    lblInfo->setText(QString("%1 Matches. (search took%2 %3%4")
                         .arg(rows)
                         .arg(prefix)
                         .arg(seconds)
                         .arg(seconds == 1 ? " second)" : " seconds)"));
    cmdGoSearch->setEnabled(!indexRunning()); // stays off while an index run goes on
    yield();
    m_searchStop = false;
    yield();
    // Enter after a pause that added this text already: not twice in a row.
    if (!typed && text != m_pauseAdded)
        AddSearchHistory(text);
    if (!typed)
        m_pauseAdded.clear();
    m_searching = false;
}

void frmMain::OpenExplorer(int64_t row) {
    txtDir->clear();
    if (m_state.StartupSearch)
        row = rTxt1->rowCount() > 0 ? 0 : -1;
    if (row < 0 || static_cast<size_t>(row) >= rTxt1->rowCount())
        return;
    std::string folder(rTxt1->row(static_cast<size_t>(row)));
    txtDir->setText(shownText(folder));
    std::string failed = m_state.openFolder(folder, m_state.ExplorerMode == 1);
    if (!failed.empty())
        ShowErrorMessage(m_state, "Cannot open the folder", QString::fromStdString(failed), true, false);
}

QMenu* frmMain::resultMenu(int64_t row) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (row < 0 || static_cast<size_t>(row) >= rTxt1->rowCount())
        return menu;
    const std::string folder = rTxt1->row(static_cast<size_t>(row));
    auto failed = [this](const char* title, const std::string& why) {
        if (!why.empty())
            ShowErrorMessage(m_state, title, QString::fromStdString(why), true, false);
    };
    menu->addAction("Open", this, [this, row] { OpenExplorer(row); });
    if (ui::canShowInParent())
        menu->addAction("Show in its parent folder", this,
                        [folder, failed] { failed("Cannot show the folder", ui::showInParent(folder)); });
    menu->addAction("Copy path", QKeySequence("Ctrl+Shift+C"), this,
                    [this, row] { rTxt1->copyPath(static_cast<size_t>(row)); });
    menu->addAction("Open a terminal here", this,
                    [folder, failed] { failed("Cannot open a terminal", ui::openTerminal(folder)); });
    return menu;
}

void frmMain::AddSearchHistory(const QString& text) {
    m_lastAdded = text;
    store::AddSearchHistory(m_state.DbConnect, text.toStdString()); // failures are not reported
}

void frmMain::showSearchHistory() {
    ui::frmHistorySearch::showModal(m_state, m_state.DbConnect, this, txtSearchString);
}

void frmMain::runStartupSearch() {
    m_state.StartupSearch = true;
    txtSearchString->setText(m_commandLine);
    Option2->setChecked(true);
    SetFrameTag();
    yield();
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    GoSearch(static_cast<int16_t>(fSearchOpt->property("Tag").toInt()));
    OpenExplorer(0);
    QGuiApplication::restoreOverrideCursor();
    m_state.StartupSearch = false;
    yield();
}

} // namespace qvl::ui

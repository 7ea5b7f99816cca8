// Searching from the main window: the box and its keys, the results pane, opening a
// folder, the history window and the start-up search.
#include "Answer.h"
#include "indexer/IndexRun.h"
#include "store/History.h"
#include "store/IndexStore.h"
#include "ui/UiState.h"
#include "ui/dialogs/frmErrorMessage.h"
#include "ui/dialogs/frmHistorySearch.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/mdlLayeredWindow.h"
#include "ui/main/ResultsPane.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMessageBox>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QToolTip>
#include <QtTest>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace qvl;

class TestSearchWindow : public QObject {
    Q_OBJECT

    QTemporaryDir tree, data;
    QString one, two; // the roots of drives C and D, as the system writes paths
    std::unique_ptr<ui::UiState> state;
    std::unique_ptr<ui::frmMain> window;
    std::vector<std::pair<std::string, bool>> opened; // folders handed to the opener

    indexer::DriveCatalogue catalogue() {
        indexer::DriveCatalogue c;
        c.parse(QString("C=%1;D=%2").arg(one, two).toStdString());
        return c;
    }

    void buildIndex() {
        for (const char* rel :
             {"Apps/windows", "windows", "windows2", "Bob's Files", "abc", "x_y", "\xc3\x84rger"})
            QDir(one).mkpath(QString::fromUtf8(rel));
        for (const char* rel : {"WINDOWS", "data/abcd"})
            QDir(two).mkpath(rel);
        std::atomic<bool> stop{false};
        auto result = indexer::runIndex({data.path().toStdString(), QVL_TEMPLATE}, catalogue(), "CD", stop);
        QVERIFY(result.error.empty());
    }

    // An index of drive C's folders many, many/m00000 ... and windows, written straight
    // through the index writer: more hits for "m" than a search hands over at once (65,536),
    // so rows are still to come after the first take however far ahead the scan got.
    void writeManyFolders(int count) {
        const std::string db = QDir(data.path()).filePath("Files.dat").toStdString();
        QVERIFY(QFile::copy(QVL_TEMPLATE, QString::fromStdString(db)));
        store::IndexWriter writer;
        QCOMPARE(writer.open(db), std::string());
        const std::string root = full("/one/").toStdString(), sep = full("/").right(1).toStdString();
        QCOMPARE(writer.add('C', root + "many" + sep, "many", "many"), std::string());
        std::string failed;
        for (int i = 0; i < count && failed.empty(); ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "m%05d", i);
            failed = writer.add('C', root + "many" + sep + name + sep, name, name);
        }
        QCOMPARE(failed, std::string());
        QCOMPARE(writer.add('C', root + "windows" + sep, "windows", "windows"), std::string());
        QCOMPARE(writer.finish(), std::string());
    }

    void load(const QString& commandLine = {}) {
        state = std::make_unique<ui::UiState>();
        state->DbConnect = QDir(data.path()).filePath("Files.dat").toStdString();
        state->TemplateFile = QVL_TEMPLATE;
        state->openFolder = [this](const std::string& folder, bool withTree) {
            opened.emplace_back(folder, withTree);
            return std::string();
        };
        test::acceptingMessages([&] {
            window = std::make_unique<ui::frmMain>(*state, catalogue(), commandLine);
            window->Form_Load();
        });
        window->show();
    }

    // Types `text` into the search box and presses Enter.
    void search(const QString& text, bool exact = false, const QString& onlyDrives = {}) {
        (exact ? window->Option2 : window->Option1)->setChecked(true);
        (onlyDrives.isNull() ? window->Option4 : window->Option3)->setChecked(true);
        for (char c = 'C'; c <= 'D'; ++c)
            window->driveBox(c)->setChecked(onlyDrives.contains(QChar(c)));
        window->txtSearchString->setText(text); // keyClicks knows only ASCII
        QTest::keyClick(window->txtSearchString, Qt::Key_Return);
    }

    // Saves what `w` shows into the build's artefacts folder, for a look at it.
    static void saveShot(QWidget* w, const QString& name) {
        QDir().mkpath(QVL_ARTIFACTS);
        QVERIFY(w->grab().save(QString(QVL_ARTIFACTS "/%1.png").arg(name)));
    }

    // A folder below the tree, "/one/windows/", as the index writes it on this system.
    QString full(const QString& rel) { return QDir::toNativeSeparators(tree.path() + rel); }

    // The hits below the tree, written with "/" whatever the system's separator.
    QStringList hits() {
        QStringList rows;
        for (size_t i = 0; i < window->rTxt1->rowCount(); ++i)
            rows << QDir::fromNativeSeparators(QString::fromStdString(std::string(window->rTxt1->row(i))))
                        .mid(tree.path().size());
        return rows;
    }

private slots:
    void init() {
        ui::layeredPlatform().applyAlpha = [](QWidget*, int) { return 0; };
        QDir(tree.path()).removeRecursively();
        QDir(data.path()).removeRecursively();
        QDir().mkpath(data.path());
        one = full("/one");
        two = full("/two");
        QDir().mkpath(one);
        QDir().mkpath(two);
        opened.clear();
    }
    void cleanup() { window.reset(); }

    // Rows are kept without what they share with the row before: whatever they share
    // (nothing, all, more than 65,535 bytes, a row that is a prefix of the next), each
    // reads back whole, alone and in a copied selection.
    void paneRowsReadBackWhole() {
        std::mt19937 rng(99);
        std::vector<std::string> paths;
        std::string path = "/";
        for (int i = 0; i < 300; ++i) {
            path.resize(std::uniform_int_distribution<size_t>(1, path.size())(rng));
            for (int k = std::uniform_int_distribution<int>(0, 3)(rng); k >= 0; --k)
                path += std::string(1, static_cast<char>('a' + rng() % 3)) + "\xc3\xa9/";
            paths.push_back(path);
        }
        const std::string deep = "/" + std::string(70000, 'd') + "/";
        for (const std::string& p : {deep + "x/", deep + "x/", deep + "y/", deep + "y/z/"})
            paths.push_back(p);
        ui::ResultsPane pane;
        pane.clear();
        for (const std::string& p : paths)
            pane.addRow(p, 1, false);
        QCOMPARE(pane.rowCount(), paths.size());
        QString all;
        for (size_t i = 0; i < paths.size(); ++i) {
            QVERIFY2(pane.row(i) == paths[i], qPrintable(QString("row %1").arg(i)));
            all += QString::fromUtf8(paths[i].data(), static_cast<qsizetype>(paths[i].size())) + '\n';
        }
        pane.setFocus();
        QTest::keyClick(&pane, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(pane.selectedText(), all);
    }

    void modesScopesAndTexts() {
        buildIndex();
        load();
        search("windows", true);
        QCOMPARE(hits(), (QStringList{"/one/Apps/windows/", "/one/windows/", "/two/WINDOWS/"}));
        QVERIFY(window->lblInfo->text().startsWith("3 Matches. (search took"));
        search("windows", true, "D");
        QCOMPARE(hits(), QStringList{"/two/WINDOWS/"});
        search(QString::fromUtf8("\xc3\xa4rger")); // the box's text reaches the search whole
        QCOMPARE(hits(), QStringList{QString::fromUtf8("/one/\xc3\x84rger/")});
        search("a_c"); // "_" is a wildcard
        QCOMPARE(hits(), (QStringList{"/one/abc/", "/two/data/abcd/"}));
        search("nothing-like-it");
        QCOMPARE(window->rTxt1->rowCount(), size_t(0));
        QVERIFY(window->lblInfo->text().startsWith("0 Matches."));

        // F3 on the placeholder: the box empties, and an empty containing search lists all.
        window->txtSearchString->setText("Enter Text Here.");
        QTest::keyClick(window->txtSearchString, Qt::Key_F3);
        QCOMPARE(window->txtSearchString->text(), QString());
        QCOMPARE(window->rTxt1->rowCount(), size_t(11));
    }

    void noDriveTickedIsWrongCriteria() {
        buildIndex();
        load();
        QString error;
        test::Answer answer(
            [this] {
                return state->errorWindow && state->errorWindow->isVisible() && state->MessageWaiting != 0;
            },
            [&] {
                auto* w = qobject_cast<ui::frmErrorMessage*>(state->errorWindow.data());
                error = w->lblmsg1->text() + "/" + w->lblmsg2->text();
                QTest::mouseClick(w->cmdMsgOk, Qt::LeftButton);
            },
            "the error window");
        search("windows", false, "");
        QCOMPARE(error, QString("Error/Wrong Criteria"));
        QVERIFY(window->lblInfo->text().startsWith("0 Matches."));
    }

    void paneGroupsByDriveAndOpensOnlyUnderlinedText() {
        buildIndex();
        load();
        search("windows", true);
        ui::ResultsPane* pane = window->rTxt1;
        QVERIFY(pane->startsGroup(0) && !pane->startsGroup(1) && pane->startsGroup(2));
        QCOMPARE(pane->headerLength(0), size_t(one.size() + 1)); // the drive's root folder
        QCOMPARE(pane->lineText(1), full("/one/windows/ "));     // the path and one blank
        // A root such as "/tmp/x/one" does not name its drive, nor "C:\x\two" drive D: the
        // group's first line is led by the letter, which is drawn but is no part of the line.
        const QString tagC = one.startsWith("C:") ? QString() : QString("C: ");
        QCOMPARE(pane->driveTag(0), tagC);
        QCOMPARE(pane->driveTag(1), QString());
        QCOMPARE(pane->driveTag(2), QString("D: "));
        QCOMPARE(pane->lineText(0), full("/one/Apps/windows/ "));

        QWidget* view = pane->viewport();
        int mid = pane->lineHeight() / 2;
        QFont bold = pane->font();
        bold.setBold(true);
        const int tag = QFontMetrics(bold).horizontalAdvance(tagC);
        if (tag > 0)
            QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(6, pane->lineTop(0) + mid)); // on the tag
        QVERIFY(opened.empty());
        QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(tag + 6, pane->lineTop(0) + mid)); // the header
        QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(view->width() - 5, pane->lineTop(1) + mid));
        QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(6, pane->lineTop(3) + mid)); // below the last
        QCOMPARE(opened.size(), size_t(1));
        QCOMPARE(QString::fromStdString(opened[0].first), full("/one/Apps/windows/"));
        QVERIFY(opened[0].second); // ExplorerMode 1: with the folder tree
        QCOMPARE(window->txtDir->text(), full("/one/Apps/windows/"));

        state->ExplorerMode = 0;
        QTest::mouseDClick(view, Qt::LeftButton, {}, QPoint(30, pane->lineTop(2) + mid));
        QCOMPARE(opened.size(), size_t(2));
        QVERIFY(!opened[1].second);
    }

    void bytesThatAreNotUtf8AndControlCharactersOpenAndCopyAsTheyAre() {
#ifdef _WIN32
        QSKIP("a Windows name is UTF-16 and holds no control characters");
#else
        buildIndex();
        const std::string odd = one.toStdString() + "/bad\xff\xfename";
        QVERIFY(::mkdir(odd.c_str(), 0755) == 0);
        std::atomic<bool> stop{false};
        indexer::runIndex({data.path().toStdString(), QVL_TEMPLATE}, catalogue(), "CD", stop);
        load();
        search("bad");
        QCOMPARE(window->rTxt1->rowCount(), size_t(1));
        ui::ResultsPane* pane = window->rTxt1;
        QTest::mouseDClick(pane->viewport(), Qt::LeftButton, {},
                           QPoint(60, pane->lineTop(0) + pane->lineHeight() / 2)); // past the tag
        QCOMPARE(opened.size(), size_t(1));
        QCOMPARE(opened[0].first, odd + "/"); // byte for byte

        // A name with control characters shows them as visible glyphs, never as codes,
        // and is opened and copied as it is.
        const std::string title = one.toStdString() + "/a\x1b]0;PWNED\x07z";
        QVERIFY(::mkdir(title.c_str(), 0755) == 0);
        indexer::runIndex({data.path().toStdString(), QVL_TEMPLATE}, catalogue(), "CD", stop);
        search("PWNED");
        QCOMPARE(window->rTxt1->rowCount(), size_t(1));
        const QString shown = pane->lineText(0);
        QVERIFY(std::none_of(shown.begin(), shown.end(), [](QChar c) { return c.unicode() < 0x20; }));
        QCOMPARE(shown.count(QChar::ReplacementCharacter), 2);
        QTest::keyClick(pane, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text().toStdString(), title + "/\n");
        QTest::keyClick(pane, Qt::Key_Return);
        QCOMPARE(opened.back().first, title + "/");
        const QString opening = window->txtDir->text();
        QVERIFY(std::none_of(opening.begin(), opening.end(), [](QChar c) { return c.unicode() < 0x20; }));
        std::filesystem::remove(title);
        std::filesystem::remove(odd); // QDir cannot name it to remove it
#endif
    }

    void historyKeepsEverySearch() {
        buildIndex();
        load();
        for (const char* text : {"abc", "def", "abc"})
            search(text);
        QString count;
        QStringList entries;
        QString infoBefore = window->lblInfo->text();
        const auto historyShown = [this] {
            auto* h = window->findChild<ui::frmHistorySearch*>();
            return h && h->isVisible();
        };
        {
            test::Answer answer(
                historyShown,
                [&] {
                    auto* h = window->findChild<ui::frmHistorySearch*>();
                    count = h->lblInfo->text();
                    for (int i = 0; i < h->lstHistory->count(); ++i)
                        entries << h->lstHistory->item(i)->text();
                    h->lstHistory->setCurrentRow(1);
                    QTest::keyClick(h, Qt::Key_Return);
                },
                "the history window");
            QTest::mouseClick(window->lblHistory, Qt::LeftButton);
        }
        QCOMPARE(count, QString("3 History search strings"));
        QCOMPARE(entries, (QStringList{"abc", "def", "abc"}));
        QCOMPARE(window->txtSearchString->text(), QString("def")); // chosen, not searched
        QCOMPARE(window->lblInfo->text(), infoBefore);

        {
            test::Answer answer(
                historyShown,
                [this] {
                    QTest::mouseClick(window->findChild<ui::frmHistorySearch*>()->cmdClear, Qt::LeftButton);
                },
                "the history window, to clear it");
            QTest::mouseClick(window->lblHistory, Qt::LeftButton);
        }
        QTRY_VERIFY(!window->findChild<ui::frmHistorySearch*>());
        window->showSearchHistory(); // empty now: it closes while loading, nothing to answer
        QVERIFY(!window->findChild<ui::frmHistorySearch*>() ||
                !window->findChild<ui::frmHistorySearch*>()->isVisible());
    }

    void f3SearchesOnceAndAnF9WithNothingRunningIsForgotten() {
        buildIndex();
        load();
        const auto historyCount = [&] {
            std::vector<std::string> texts;
            store::listSearchHistory(state->DbConnect, texts);
            return texts.size();
        };
        window->txtSearchString->setText("windows");
        QTest::keyClick(window->txtSearchString, Qt::Key_F3);
        QCOMPARE(historyCount(), size_t(1)); // one search, one entry
        QCOMPARE(window->rTxt1->rowCount(), size_t(4));

        QTest::keyClick(window->txtSearchString, Qt::Key_F9); // nothing runs: forgotten
        search("windows", true);
        QCOMPARE(hits(), (QStringList{"/one/Apps/windows/", "/one/windows/", "/two/WINDOWS/"}));
        QVERIFY(window->lblInfo->text().startsWith("3 Matches."));
        QCOMPARE(historyCount(), size_t(2));
        QVERIFY(!state->StopRequested);
    }

    void thePaneWorksFromTheKeyboardAndShowsLongLinesWhole() {
        const QString longName = QString("windows ") + QString("very long name ").repeated(12);
        QDir(one).mkpath(longName);
        buildIndex();
        load();
        search("windows");
        QCOMPARE(hits().size(), 5);
        ui::ResultsPane* pane = window->rTxt1;
        pane->setFocus();
        QTest::keyClick(pane, Qt::Key_Down);
        QTest::keyClick(pane, Qt::Key_Down);
        QTest::keyClick(pane, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(pane, Qt::Key_C, Qt::ControlModifier);
        const QStringList rows = hits();
        QCOMPARE(QApplication::clipboard()->text(), full(rows[1]) + "\n" + full(rows[2]) + "\n");
        QTest::keyClick(pane, Qt::Key_End);
        QTest::keyClick(pane, Qt::Key_Return);
        QCOMPARE(opened.size(), size_t(1));
        QCOMPARE(QString::fromStdString(opened[0].first), full(rows.last()));
        QTest::keyClick(pane, Qt::Key_Home);
        QTest::keyClick(pane, Qt::Key_Return);
        QCOMPARE(QString::fromStdString(opened.back().first), full(rows.first()));

        // The long line: the pane scrolls sideways to its end, and its tool tip is the path.
        QTRY_VERIFY(pane->horizontalScrollBar()->maximum() > 0);
        const int longRow = static_cast<int>(rows.indexOf(QRegularExpression(".*very long.*")));
        QVERIFY(longRow >= 0);
        QPoint at(20, pane->lineTop(static_cast<size_t>(longRow)) + pane->lineHeight() / 2);
        QHelpEvent help(QEvent::ToolTip, at, pane->viewport()->mapToGlobal(at));
        QApplication::sendEvent(pane->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), full(rows[longRow]));
        saveShot(window.get(), "search-window");
        QToolTip::hideText();

        // The drive box's tool tip, as the pointer over it brings it up.
        QCheckBox* box = window->driveBox('D');
        QHelpEvent overBox(QEvent::ToolTip, QPoint(5, 5), box->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(box, &overBox);
        QTRY_COMPARE(QToolTip::text(), QString("Hard Drive (%1)").arg(two));
    }

    // A listing of 70,001 hits cut short once its first rows are in: by F9 (the count of the
    // rows shown is said), by a new search (which runs whole) or by closing the window.
    void aLongListingEndsWhenCutShort_data() {
        QTest::addColumn<QString>("by");
        for (const char* by : {"F9", "a new search", "closing"})
            QTest::newRow(by) << QString(by);
    }
    void aLongListingEndsWhenCutShort() {
        QFETCH(QString, by);
        writeManyFolders(70000);
        load();
        bool ended = false;
        state->endProgramNow = [&] { ended = true; };
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (window->rTxt1->rowCount() == 0)
                return;
            poll.stop();
            if (by == "F9") {
                QTest::keyClick(window->txtSearchString, Qt::Key_F9); // read before it takes more
            } else if (by == "closing") {
                QTest::mouseClick(window->cmdClose, Qt::LeftButton);
            } else {
                window->Option2->setChecked(true);
                window->txtSearchString->setText("windows");
                QTest::keyClick(window->txtSearchString, Qt::Key_Return);
            }
        });
        poll.start(0);
        search("m");
        QCOMPARE(ended, by == "closing");
        QVERIFY(!state->StopRequested);
        if (by == "a new search") {
            QCOMPARE(hits(), QStringList{"/one/windows/"});
            QVERIFY(window->lblInfo->text().startsWith("1 Matches."));
            std::vector<std::string> history;
            store::listSearchHistory(state->DbConnect, history);
            QCOMPARE(history, (std::vector<std::string>{"m", "windows"})); // the one cut short too
            return;
        }
        const size_t shown = window->rTxt1->rowCount(); // not the last of the 70,001
        QVERIFY(shown > 0 && shown < 70001);
        if (by == "F9")
            QVERIFY(window->lblInfo->text().startsWith(QString("%1 Matches.").arg(shown)));
    }

    // Results as you type: off by default; each key starts a search and the one under way
    // ends where it is; only a pause in the typing (or Enter) adds to the history, and
    // only the text that was there at the pause.
    void resultsAsYouTypeFollowTheTextAndTheHistoryOnlyItsPauses() {
        writeManyFolders(70000);
        load();
        const auto history = [&] {
            std::vector<std::string> texts;
            store::listSearchHistory(state->DbConnect, texts);
            return texts;
        };
        window->txtSearchString->clear();
        QTest::keyClicks(window->txtSearchString, "win");
        QCOMPARE(window->rTxt1->rowCount(), size_t(0)); // off: typing searches nothing

        state->AsYouType = true;
        window->txtSearchString->clear();
        // "m" lists 70,001 folders; while they come the rest of "m00012" is typed.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (window->rTxt1->rowCount() == 0)
                return;
            poll.stop();
            QTest::keyClicks(window->txtSearchString, "00012");
        });
        poll.start(0);
        QTest::keyClick(window->txtSearchString, Qt::Key_M);
        QCOMPARE(hits(), QStringList{"/one/many/m00012/"});
        QVERIFY(window->lblInfo->text().startsWith("1 Matches."));
        QTRY_COMPARE_WITH_TIMEOUT(history(), std::vector<std::string>{"m00012"}, 10000);
        // Enter after that pause: the text is not added twice.
        QTest::keyClick(window->txtSearchString, Qt::Key_Return);
        QCOMPARE(history(), std::vector<std::string>{"m00012"});
        // Enter before the pause adds at once.
        QTest::keyClick(window->txtSearchString, Qt::Key_Backspace);
        QCOMPARE(window->rTxt1->rowCount(), size_t(10)); // m00010 .. m00019
        QTest::keyClick(window->txtSearchString, Qt::Key_Return);
        QCOMPARE(history(), (std::vector<std::string>{"m00012", "m0001"}));
        // All of it deleted: no search, the pane as it was at the start.
        window->txtSearchString->selectAll();
        QTest::keyClick(window->txtSearchString, Qt::Key_Delete);
        QCOMPARE(window->rTxt1->rowCount(), size_t(0));
    }

    void startupSearchOpensTheFirstExactHitOnceThereIsAnIndex() {
        load("windows");
        QVERIFY(state->IsFirstRun);
        QVERIFY(opened.empty());
        QVERIFY(!window->cmdGoSearch->isEnabled());
        window.reset();

        buildIndex();
        load("windows");
        QCOMPARE(opened.size(), size_t(1));
        QCOMPARE(QString::fromStdString(opened[0].first), full("/one/Apps/windows/"));
        QVERIFY(!state->StartupSearch);
        QVERIFY(window->Option2->isChecked());
        QVERIFY(window->isVisible());
    }
};

QTEST_MAIN(TestSearchWindow)
#include "TestSearchWindow.moc"

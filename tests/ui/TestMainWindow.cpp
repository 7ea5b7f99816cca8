// The main window: its load, the drive panel, the index run and the chrome.
#include "Answer.h"
#include "ui/UiState.h"
#include "ui/dialogs/frmDialogMessage.h"
#include "ui/dialogs/frmMessage.h"
#include "ui/kit/Shape.h"
#include "ui/kit/mdlLayeredWindow.h"
#include "ui/main/DrivePanel.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using namespace qvl;

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir tree, data;
    std::unique_ptr<ui::UiState> state;
    std::unique_ptr<ui::frmMain> window;
    QStringList messageBoxes; // texts of the message boxes answered

    void makeTree(int topLevel, int below) {
        for (int i = 0; i < topLevel; ++i)
            for (int j = 0; j < below; ++j)
                QDir(tree.path()).mkpath(QString("top%1/sub%2").arg(i).arg(j));
    }

    // Loads a fresh window over drives C (fixed), D (CD-ROM), Z (network), A (removable).
    void load() {
        state = std::make_unique<ui::UiState>();
        state->DbConnect = QDir(data.path()).filePath("Files.dat").toStdString();
        state->TemplateFile = QVL_TEMPLATE;
        indexer::DriveCatalogue catalogue;
        QString drives = QString("C=%1;D:cdrom=%1;Z:network=%1").arg(tree.path());
        QVERIFY(catalogue.parse(drives.toStdString()).empty());
        catalogue.add({'A', indexer::DriveRemovable, "/floppy"});
        window = std::make_unique<ui::frmMain>(*state, catalogue);
        // The first-run message box is answered as soon as it shows.
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messageBoxes << box->text();
                box->accept();
            }
        });
        answer.start(10);
        window->Form_Load();
        window->show();
    }

    // Runs the index from the button, answering the question with `key`, then `after`.
    void runIndex(Qt::Key key, std::function<void()> after = {}) {
        QString asked;
        test::Answer answer([this] { return state->question && state->question->isVisible(); },
                            [&] {
                                auto* question = qobject_cast<ui::frmDialogMessage*>(state->question.data());
                                asked = question->lblmsg1->text();
                                QTest::keyClick(question, key);
                                if (after)
                                    after();
                            },
                            "the question before the index run");
        window->cmdScan_Click();
        QCOMPARE(asked, QString("Rescan Drives?"));
    }

private slots:
    void init() {
        ui::layeredPlatform().applyAlpha = [](QWidget*, int) { return 0; };
        QDir(data.path()).removeRecursively();
        QDir().mkpath(data.path());
        QDir(tree.path()).removeRecursively();
        QDir().mkpath(tree.path());
        messageBoxes.clear();
    }
    void cleanup() { window.reset(); }

    void firstStartOnEmptyIndex() {
        load();
        QCOMPARE(messageBoxes,
                 QStringList{"This is the FIRST TIME you run QVL, Please select 'Index Drives'"});
        QVERIFY(state->IsFirstRun);
        QCOMPARE(window->size(), QSize(553, 534));
        QCOMPARE(window->lblTitle->text(), QString("Quorvel, v1.0.1a"));
        QVERIFY(window->driveBox('C')->isChecked());
        QVERIFY(!window->driveBox('D')->isChecked() && !window->driveBox('Z')->isChecked());
        QVERIFY(window->driveBox('Z')->toolTip().startsWith("Network Drive ("));
        QVERIFY(window->driveBox('Z')->isEnabled());
        QVERIFY(!window->driveBox('E')->isEnabled());
        QVERIFY(!window->cmdGoSearch->isEnabled());
        QVERIFY(!window->cmdPanic->isEnabled());
        QVERIFY(window->tFlash->isActive());
        bool shown = window->shMark->isVisible();
        window->tFlash_Timer();
        QCOMPARE(window->shMark->isVisible(), !shown);
    }

    void presetsTickTheirDrives() {
        load();
        auto ticked = [this] {
            QString letters;
            for (char c = 'C'; c <= 'Z'; ++c)
                if (window->driveBox(c)->isChecked())
                    letters += c;
            return letters;
        };
        auto choose = [this](const char* entry) {
            window->cboPreset->setCurrentText(entry);
            window->cboPreset_Click();
        };
        choose("All Available Drives"); // which drives each preset ticks is the catalogue's test
        QCOMPARE(ticked(), QString("CZ"));
        choose("None");
        QCOMPARE(ticked(), QString(""));
    }

    void indexRunAnsweredYesBuildsTheIndex() {
        makeTree(3, 4);
        load();
        QSignalSpy finished(window.get(), &ui::frmMain::indexRunFinished);
        window->driveBox('Z')->setChecked(true);
        runIndex(Qt::Key_Y);
        QVERIFY(window->indexRunning() || finished.count() == 1);
        QVERIFY(finished.count() == 1 || finished.wait(10000));
        // Drives C and Z both hold the tree: 15 folders each.
        QCOMPARE(window->lblSearchPath->text(), QString("Done. (30 dirs)"));
        QVERIFY(!window->driveBox('C')->isChecked());
        QVERIFY(!window->driveBox('Z')->isChecked());
        QVERIFY(window->cmdGoSearch->isEnabled());
        QVERIFY(window->cmdPanic->isEnabled());
        QVERIFY(window->cmdScan->isEnabled());
        QVERIFY(!window->tFlash->isActive());
        QVERIFY(!state->IsFirstRun);
    }

    void indexRunAnsweredNoChangesNothing() {
        makeTree(2, 2);
        load();
        runIndex(Qt::Key_N);
        QVERIFY(!window->indexRunning());
        QVERIFY(window->driveBox('C')->isChecked());
        QCOMPARE(window->lblSearchPath->text(), QString("(nothing)"));
        QVERIFY(!QFile::exists(QString::fromStdString(state->DbConnect)));
    }

    void stoppedRunSaysCanceledAndTheNextRunsInFull() {
        makeTree(5, 3);
        load();
        QSignalSpy finished(window.get(), &ui::frmMain::indexRunFinished);
        // Stop from the quick menu's command while the button is still disabled.
        runIndex(Qt::Key_Y, [this] { window->FakePress("stop"); });
        QVERIFY(finished.count() == 1 || finished.wait(10000));
        QCOMPARE(window->lblSearchPath->text(), QString("Canceled. (5 dirs)"));
        QVERIFY(!state->StopRequested);

        window->driveBox('C')->setChecked(true);
        runIndex(Qt::Key_Y);
        QVERIFY(finished.count() == 2 || finished.wait(10000));
        QCOMPARE(window->lblSearchPath->text(), QString("Done. (20 dirs)"));
    }

    // The folders the data folder's rules leave out are not indexed; a line of the rules
    // that is not one is said once the run is done.
    void indexRunLeavesOutWhatTheRulesName() {
        makeTree(3, 4);
        {
            QFile rules(QDir(data.path()).filePath("LeaveOut.txt"));
            QVERIFY(rules.open(QIODevice::WriteOnly));
            rules.write(("name sub1\npath " + tree.path() + "/top0\nbogus\n").toUtf8());
        }
        load();
        QSignalSpy finished(window.get(), &ui::frmMain::indexRunFinished);
        window->driveBox('Z')->setChecked(true);
        runIndex(Qt::Key_Y);
        QVERIFY(finished.count() == 1 || finished.wait(10000));
        // top1 and top2 with three of their four folders, on C and on Z.
        QCOMPARE(window->lblSearchPath->text(), QString("Done. (16 dirs)"));
        QTRY_VERIFY(state->notice && state->notice->isVisible());
        auto* notice = qobject_cast<ui::frmMessage*>(state->notice.data());
        QCOMPARE(notice->lblmsg1->text(), QString("Index note"));
        QVERIFY2(notice->lblmsg2->text().endsWith(
                     "line 3: not a kind of rule: bogus (name, path or fs); passed over"),
                 qPrintable(notice->lblmsg2->text()));
        notice->close();
    }

    void altF10TwiceLeavesEveryColourAsItWasAndF11IsNotItsInverse() {
        load();
        QApplication::processEvents();
        auto colours = [this] {
            QStringList all;
            QList<QWidget*> widgets = window->findChildren<QWidget*>();
            widgets.prepend(window.get());
            for (QWidget* w : widgets) {
                QString line = w->objectName() + ":";
                for (const char* name : {"Color", "FinColor"})
                    if (w->property(name).isValid())
                        line += QString(" %1=%2").arg(name).arg(w->property(name).toInt());
                if (auto* shape = qobject_cast<ui::Shape*>(w)) // see-through stays see-through
                    line += " fill " + (shape->fill().isValid() ? shape->fill().name() : QString("none"));
                for (auto role : {QPalette::Window, QPalette::WindowText, QPalette::Base, QPalette::Text,
                                  QPalette::Button, QPalette::ButtonText})
                    line += " " + w->palette().color(role).name();
                all << line;
            }
            return all;
        };
        const QStringList before = colours();
        QTest::keyClick(window->txtSearchString, Qt::Key_F10, Qt::AltModifier);
        QVERIFY(colours() != before);
        QTest::keyClick(window->txtSearchString, Qt::Key_F10, Qt::AltModifier);
        const QStringList after = colours();
        for (int i = 0; i < before.size(); ++i)
            QCOMPARE(after[i], before[i]);
        // Alt+F11 is a scheme of its own, not the undoing of Alt+F10.
        QTest::keyClick(window->txtSearchString, Qt::Key_F10, Qt::AltModifier);
        QTest::keyClick(window->txtSearchString, Qt::Key_F11, Qt::AltModifier);
        QVERIFY(colours() != before);
    }

    // The option buttons and drive boxes stay inside their frames and clear of each other
    // (whether their captions fit the face they got is the text-fit test's).
    void optionAndDriveBoxesDoNotOverlap() {
        load();
        QList<QAbstractButton*> boxes;
        for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
            if (qobject_cast<QRadioButton*>(b) || qobject_cast<QCheckBox*>(b))
                boxes << b;
        QCOMPARE(boxes.size(), 28);
        for (QAbstractButton* b : boxes) {
            QVERIFY2(b->parentWidget()->rect().contains(b->geometry()), qPrintable(b->objectName()));
            for (QAbstractButton* other : boxes)
                QVERIFY2(other == b || !other->geometry().intersects(b->geometry()) ||
                             other->parentWidget() != b->parentWidget(),
                         qPrintable(b->objectName() + " and " + other->objectName()));
        }
        // The frames stay clear of the Find and Stop buttons beside them.
        QVERIFY(window->fSearchOpt->geometry().right() < window->cmdGoSearch->geometry().left());
    }

    void driveBoxesShowClearedAndWalkedInTheirColours() {
        QWidget host;
        host.resize(600, 200);
        ui::DrivePanel panel;
        panel.build(&host);
        host.show();
        // The background at the box's far corner, beyond its caption.
        auto ground = [](QCheckBox* box) {
            QImage image = box->grab().toImage();
            return QColor(image.pixel(image.width() - 1, 0));
        };
        auto hasBlueText = [](QCheckBox* box) {
            QImage image = box->grab().toImage();
            for (int y = 0; y < image.height(); ++y)
                for (int x = image.width() / 2; x < image.width(); ++x)
                    if (QColor c(image.pixel(x, y)); c.blue() > 200 && c.red() < 90 && c.green() < 90)
                        return true;
            return false;
        };
        panel.clear();
        QCheckBox* f = panel.box('F');
        QCOMPARE(ground(f), QColor(222, 220, 211));
        f->setEnabled(true);
        f->setChecked(true);
        panel.highlight('F');
        QCOMPARE(ground(f), QColor(255, 255, 0));
        QVERIFY(hasBlueText(f));
        QVERIFY(!hasBlueText(panel.box('G')));
        panel.walkEnded('F');
        QCOMPARE(ground(f), QColor(222, 220, 211));
        QVERIFY(!f->isChecked());
        QCOMPARE(panel.tickedLetters(), std::string());
    }

    void commandWordsAreExact() {
        load();
        window->FakePress("Find");
        window->FakePress("INDEX");
        QVERIFY(!state->question);
        QVERIFY(!state->StopRequested);
        window->FakePress("stop"); // nothing runs: a stop is for nothing, and forgotten
        QVERIFY(!state->StopRequested);
    }

    void bottomBarFollowsThePointer() {
        load();
        window->hoverAt(1300, 7500);
        QVERIFY(!window->tb1->isVisible());
        window->hoverAt(1301, 7000);
        QVERIFY(window->tb1->isVisible());
        window->hoverAt(5300, 7500);
        QVERIFY(!window->tb1->isVisible());
    }

    void chrome() {
        load();
        QString text = QString::fromUtf8("Quorvel \xc3\xa4 x@y.org");
        QString once = ui::frmMain::Unscramble(text);
        QCOMPARE(once.size(), text.size());
        QVERIFY(once != text);
        QCOMPARE(ui::frmMain::Unscramble(once), text);
        QVERIFY(!state->AuthorName.isEmpty());
        QCOMPARE(window->lblEmail->text(), state->AuthorName);
        QVERIFY(state->AuthorEmail.contains('@'));

        QVERIFY(window->lblTimeDate->text().startsWith('('));
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"

// The setup window and its settings, the information windows and the data-access warning.
#include "Answer.h"
#include "RegistryWrite.h"
#include "platform/Registry.h"
#include "ui/UiState.h"
#include "ui/dialogs/InfoWindows.h"
#include "ui/dialogs/NoticeWindow.h"
#include "ui/dialogs/frmAbout.h"
#include "ui/dialogs/frmDocument.h"
#include "ui/dialogs/frmMDAC.h"
#include "ui/dialogs/frmMessage.h"
#include "ui/dialogs/frmSetup.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace qvl;

class TestInfoWindows : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir, dataDir;
    std::vector<int> applied;

private slots:
    void initTestCase() {
        // A fresh account's settings: a folder of their own; on Windows the registry key, emptied.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL").clear();
    }
    void cleanupTestCase() { QSettings(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL").clear(); }
    void init() {
        applied.clear();
        ui::layeredPlatform().applyAlpha = [this](QWidget*, int alpha) {
            applied.push_back(alpha);
            return 0;
        };
    }

    void setupSavesAndAppliesAtOnce() {
        ui::UiState state;
        bool synced = false;
        QPointer<ui::frmSetup> setup =
            new ui::frmSetup(state, dataDir.path().toStdString(), [&] { synced = true; });
        setup->show();
        QVERIFY(setup->chkEffects->isChecked() && setup->chkExplorer->isChecked());
        QVERIFY(!setup->chkAsYouType->isChecked()); // results as you type: off unless chosen
        setup->chkEffects->setChecked(false);
        setup->chkExplorer->setChecked(false);
        setup->chkAsYouType->setChecked(true);
        QString notice;
        test::Answer answer(
            [&] { return state.notice && state.notice->isVisible() && state.MessageWaiting != 0; },
            [&] {
                auto* n = qobject_cast<ui::frmMessage*>(state.notice.data());
                notice = n->lblmsg1->text();
                QTest::mouseClick(n->cmdMsgOk, Qt::LeftButton);
            },
            "the notice that the setup was saved");
        QTest::mouseClick(setup->cmdSave, Qt::LeftButton);
        QCOMPARE(notice, QString("Setup Saved"));
        QCOMPARE(state.ExplorerMode, int16_t(0));
        QCOMPARE(state.VisualEffects, int16_t(0));
        QVERIFY(state.AsYouType);
        QVERIFY(synced); // the main window's shadows follow the new setting
        QTRY_VERIFY(setup.isNull());
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL");
        QCOMPARE(raw.value("Setup/VisualEffects").toString(), QString("0"));
        QCOMPARE(raw.value("Setup/AsYouType").toString(), QString("1"));

        // Opened again it shows the saved values; Escape and X close without saving.
        setup = new ui::frmSetup(state, dataDir.path().toStdString(), {});
        QVERIFY(!setup->chkEffects->isChecked());
        setup->chkEffects->setChecked(true);
        QTest::keyClick(setup, Qt::Key_Escape);
        QTRY_VERIFY(setup.isNull());
        setup = new ui::frmSetup(state, dataDir.path().toStdString(), {});
        setup->chkExplorer->setChecked(true);
        QTest::mouseClick(setup->Command1, Qt::LeftButton);
        QTRY_VERIFY(setup.isNull());
        QCOMPARE(raw.value("Setup/VisualEffects").toString(), QString("0"));
        QCOMPARE(raw.value("Setup/ExplorerMode").toString(), QString("0"));

        raw.setValue("Setup/ExplorerMode", "sometimes"); // a word, not a number: both on again
        raw.sync();
        setup = new ui::frmSetup(state, dataDir.path().toStdString(), {});
        QVERIFY(setup->chkEffects->isChecked() && setup->chkExplorer->isChecked());
        setup->close();
    }

    // The folders to leave out, one rule a line: saved to the data folder's file that qvl
    // reads too; a line that is not a rule saves nothing and names itself.
    void setupKeepsTheFoldersToLeaveOut() {
        ui::UiState state;
        auto save = [&](ui::frmSetup* setup) {
            QString first, second;
            test::Answer answer(
                [&] {
                    return (state.notice && state.notice->isVisible() && state.MessageWaiting != 0) ||
                           (state.errorWindow && state.errorWindow->isVisible() && state.MessageWaiting != 0);
                },
                [&] {
                    auto* shown = qobject_cast<ui::NoticeWindow*>(
                        state.errorWindow && state.errorWindow->isVisible() ? state.errorWindow.data()
                                                                            : state.notice.data());
                    first = shown->lblmsg1->text();
                    second = shown->lblmsg2->text();
                    QTest::mouseClick(shown->cmdMsgOk, Qt::LeftButton);
                },
                "the notice or the error window after Save");
            QTest::mouseClick(setup->cmdSave, Qt::LeftButton);
            return first + "|" + second;
        };
        const QString file = dataDir.filePath("LeaveOut.txt");
        // A full path with a doubled separator and one at the end, as typed, and as kept.
#ifdef Q_OS_WIN
        const QString typed = "C:/srv//scratch/", kept = "C:\\srv\\scratch";
#else
        const QString typed = "/srv//scratch/", kept = "/srv/scratch";
#endif
        QPointer<ui::frmSetup> setup = new ui::frmSetup(state, dataDir.path().toStdString(), {});
        setup->show();
        QCOMPARE(setup->txtLeaveOut->toPlainText(), QString()); // none by default
        QTest::mouseClick(setup->txtLeaveOut, Qt::LeftButton);
        for (const QString& line : {QString("name node_modules"), "  path " + typed, QString("bogus")}) {
            QTest::keyClicks(setup->txtLeaveOut, line);
            QTest::keyClick(setup->txtLeaveOut, Qt::Key_Return);
        }
        QCOMPARE(save(setup),
                 QString("Setup not saved|Leave out, line 3: not a kind of rule: bogus (name, path or fs)"));
        QVERIFY(!QFile::exists(file));
        QVERIFY(!setup.isNull()); // still open, to be mended
        setup->txtLeaveOut->setPlainText("name node_modules\n  path " + typed + "\n\nfs nfs4\n");
        QCOMPARE(save(setup), QString("Setup Saved|"));
        QTRY_VERIFY(setup.isNull());
        QFile saved(file);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(
            QString::fromUtf8(saved.readAll()).endsWith("\nname node_modules\npath " + kept + "\nfs nfs4\n"));

        setup = new ui::frmSetup(state, dataDir.path().toStdString(), {});
        QCOMPARE(setup->txtLeaveOut->toPlainText(), "name node_modules\npath " + kept + "\nfs nfs4\n");
        setup->close();
    }

    void aboutWithEffectsOffIsOpaqueAndItsTitleStillCreeps() {
        ui::UiState state;
        state.VisualEffects = 0;
        ui::showAbout(state, false);
        auto* about = qobject_cast<ui::frmAbout*>(state.about.data());
        QVERIFY(about && about->isVisible());
        QVERIFY(about->Timer1->isActive());
        about->Timer1->stop(); // its steps are taken here, one by one
        int before = about->ARGradient1->property("Color").toInt();
        about->Timer1_Timer();
        about->Timer1_Timer();
        QVERIFY(applied.empty()); // never made see-through
        QCOMPARE(about->ARGradient1->property("Color").toInt(), before + 2);
        about->close();
    }

    void aboutOpensTheCreditsAfterADoubleClick() {
        ui::UiState state;
        ui::showAbout(state, false);
        QPointer<ui::frmAbout> about = qobject_cast<ui::frmAbout*>(state.about.data());
        QVERIFY(!about->lblCredits->isVisible());
        QTest::mouseDClick(about->Label1, Qt::LeftButton);
        QVERIFY(about->lblCredits->isVisible());
        QTest::mouseDClick(about->lblCredits, Qt::LeftButton);
        QTRY_VERIFY(about.isNull());
        QVERIFY(state.credits && state.credits->isVisible());
        state.credits->close();
    }

    void documentsCloseByAltF4AndFadeOnOk() {
        ui::UiState state;
        ui::showHelp(state);
        QPointer<QWidget> help = state.help;
        QVERIFY(help &&
                help->findChild<QTextBrowser*>("RichTextBox1")->toPlainText().contains("Command Lines:"));
        QTest::keyClick(help, Qt::Key_F4, Qt::AltModifier);
        QTRY_VERIFY(help.isNull());
        ui::showVersionHistory(state);
        QPointer<ui::frmDocument> history = qobject_cast<ui::frmDocument*>(state.versionHistory.data());
        QVERIFY(history->RichTextBox1->toPlainText().contains("1.0.1a"));
        applied.clear();
        QTest::mouseClick(history->cmdOk, Qt::LeftButton);
        QVERIFY(!applied.empty() && applied.front() == 255); // the fade starts from 100 %
        QTRY_VERIFY(history.isNull());
    }

    void oldDataAccessVersionWarns() {
        ui::UiState state;
        test::setRegistryValue(platform::kHkeyLocalMachine, "SOFTWARE\\Microsoft\\DataAccess", "Version",
                               "2.10.4202");
        QString line;
        {
            test::Answer answer([] { return test::shownWindow<ui::frmMDAC>() != nullptr; },
                                [&] {
                                    line = test::shownWindow<ui::frmMDAC>()->lblMDACVer->text();
                                    QTest::mouseClick(test::shownWindow<ui::frmMDAC>()->Command1,
                                                      Qt::LeftButton);
                                },
                                "the data-access warning");
            ui::frmMDAC::showModal(state); // returns once closed
        }
        QCOMPARE(line, QString("It is reported that your version is 2.1"));

        test::setRegistryValue(platform::kHkeyLocalMachine, "SOFTWARE\\Microsoft\\DataAccess", "Version", "");
        test::Answer answer([] { return test::shownWindow<ui::frmMDAC>() != nullptr; },
                            [&] {
                                line = test::shownWindow<ui::frmMDAC>()->lblMDACVer->text();
                                QTest::mouseClick(test::shownWindow<ui::frmMDAC>()->cmdOk, Qt::LeftButton);
                            },
                            "the data-access warning without a version");
        ui::frmMDAC::showModal(state);
        QCOMPARE(line, QString("It is reported that your version is 0"));
    }
};

QTEST_MAIN(TestInfoWindows)
#include "TestInfoWindows.moc"

// A result's menu in the main window: a right click or the menu key brings it; Open, Show
// in its parent folder, Copy path (and Ctrl+Shift+C), Open a terminal here. The file
// manager is a stand-in that owns org.freedesktop.FileManager1 on a session bus of the
// test's own (dbus-daemon); the terminal a stand-in script on PATH that notes where it
// was started.
#include "Answer.h"
#include "indexer/IndexRun.h"
#include "ui/UiState.h"
#include "ui/kit/mdlLayeredWindow.h"
#include "ui/main/ResultsPane.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDir>
#include <QMenu>
#include <QMessageBox>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace qvl;

// The file manager: notes each ShowItems. Lives on a thread of its own, so that it answers
// while the window waits for its answer.
class FileManagerStandIn : public QObject {
    Q_OBJECT
public:
    QStringList shown() {
        QMutexLocker lock(&m_mutex);
        return m_shown;
    }
public slots:
    void record(const QStringList& uris) {
        QMutexLocker lock(&m_mutex);
        m_shown << uris;
    }

private:
    QMutex m_mutex;
    QStringList m_shown;
};

class FileManagerAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
public:
    explicit FileManagerAdaptor(FileManagerStandIn* parent)
        : QDBusAbstractAdaptor(parent)
        , m_standIn(parent) {}
public slots:
    void ShowItems(const QStringList& uris, const QString&) { m_standIn->record(uris); }
    void ShowFolders(const QStringList&, const QString&) {}
    void ShowItemProperties(const QStringList&, const QString&) {}

private:
    FileManagerStandIn* m_standIn;
};

class TestResultMenu : public QObject {
    Q_OBJECT

    QTemporaryDir work;
    QProcess bus;
    QThread standInThread;
    FileManagerStandIn* standIn = nullptr;
    std::unique_ptr<ui::UiState> state;
    std::unique_ptr<ui::frmMain> window;
    std::vector<std::string> opened;

    QString tree() const { return work.filePath("tree"); }

    QMenu* popup() { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); }
    static QStringList texts(QMenu* menu) {
        QStringList t;
        for (QAction* a : menu->actions())
            t << a->text();
        return t;
    }
    static QAction* action(QMenu* menu, const QString& text) {
        for (QAction* a : menu->actions())
            if (a->text() == text)
                return a;
        return nullptr;
    }
    // The line of the results that shows `rel` below the tree; -1 when none does.
    int64_t rowOf(const QString& rel) {
        for (size_t i = 0; i < window->rTxt1->rowCount(); ++i)
            if (QString::fromUtf8(window->rTxt1->row(i)) == tree() + rel)
                return static_cast<int64_t>(i);
        return -1;
    }

private slots:
    void initTestCase() {
        QVERIFY(work.isValid());
        // A bus of the test's own, before anything in this process asks for the session bus.
        QFile conf(work.filePath("bus.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QString("<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                           "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                           "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>")
                       .arg(work.path())
                       .toUtf8());
        conf.close();
        bus.start("dbus-daemon", {"--config-file=" + conf.fileName(), "--nofork", "--print-address=1"});
        QVERIFY2(bus.waitForStarted(10000), "dbus-daemon did not start");
        QTRY_VERIFY_WITH_TIMEOUT(bus.canReadLine(), 10000);
        qputenv("DBUS_SESSION_BUS_ADDRESS", bus.readLine().trimmed());

        // The terminal: a script that writes the folder it was started in.
        QDir().mkpath(work.filePath("bin"));
        QFile terminal(work.filePath("bin/xdg-terminal-exec"));
        QVERIFY(terminal.open(QIODevice::WriteOnly));
        terminal.write(QString("#!/bin/sh\npwd > '%1.tmp' && mv '%1.tmp' '%1'\n")
                           .arg(work.filePath("terminal"))
                           .toUtf8());
        terminal.close();
        terminal.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", work.filePath("bin").toUtf8() + ":" + qgetenv("PATH"));

        for (const char* rel : {"photo", "b/photos", "c d/photo 'x'"})
            QVERIFY(QDir().mkpath(tree() + "/" + rel));
        indexer::DriveCatalogue catalogue;
        catalogue.parse("C=" + tree().toStdString());
        std::atomic<bool> stop{false};
        auto result =
            indexer::runIndex({work.filePath("data").toStdString(), QVL_TEMPLATE}, catalogue, "C", stop);
        QVERIFY(result.error.empty());

        ui::layeredPlatform().applyAlpha = [](QWidget*, int) { return 0; };
        state = std::make_unique<ui::UiState>();
        state->DbConnect = work.filePath("data/Files.dat").toStdString();
        state->TemplateFile = QVL_TEMPLATE;
        state->openFolder = [this](const std::string& folder, bool) {
            opened.push_back(folder);
            return std::string();
        };
        test::acceptingMessages([&] {
            window = std::make_unique<ui::frmMain>(*state, std::move(catalogue), QString());
            window->Form_Load();
        });
        window->show();
        window->Option1->setChecked(true);
        window->txtSearchString->setText("photo");
        QTest::keyClick(window->txtSearchString, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(window->rTxt1->rowCount(), size_t(3), 10000);
    }

    void cleanupTestCase() {
        window.reset();
        if (standIn) {
            QDBusConnection::disconnectFromBus("standin");
            standIn->deleteLater(); // on its own thread, as that thread ends
            standInThread.quit();
            standInThread.wait();
        }
        bus.kill();
        bus.waitForFinished();
    }

    // Without a file manager on the bus the menu has no "Show in its parent folder".
    void withoutAFileManagerTheMenuCannotShowTheParent() {
        QMenu* menu = window->resultMenu(rowOf("/photo/"));
        QCOMPARE(texts(menu), (QStringList{"Open", "Copy path", "Open a terminal here"}));
        delete menu;
    }

    void aRightClickOrTheMenuKeyBringsTheMenuOfThatLine() {
        QVERIFY(QDBusConnection::connectToBus(qgetenv("DBUS_SESSION_BUS_ADDRESS"), "standin").isConnected());
        standIn = new FileManagerStandIn;
        new FileManagerAdaptor(standIn);
        standIn->moveToThread(&standInThread);
        standInThread.start();
        QDBusConnection standInBus("standin");
        QVERIFY(standInBus.registerObject("/org/freedesktop/FileManager1", standIn,
                                          QDBusConnection::ExportAdaptors));
        QVERIFY(standInBus.registerService("org.freedesktop.FileManager1"));

        ui::ResultsPane* pane = window->rTxt1;
        const int64_t row = rowOf("/b/photos/");
        QVERIFY(row >= 0);
        QPoint at(pane->lineHeight(), pane->lineTop(static_cast<size_t>(row)) + pane->lineHeight() / 2);
        QContextMenuEvent click(QContextMenuEvent::Mouse, at, pane->viewport()->mapToGlobal(at));
        QApplication::sendEvent(pane->viewport(), &click);
        QTRY_VERIFY(popup() != nullptr);
        QCOMPARE(texts(popup()),
                 (QStringList{"Open", "Show in its parent folder", "Copy path", "Open a terminal here"}));
        QCOMPARE(pane->currentRow(), row); // the line clicked became the current one
        popup()->close();
        QTRY_VERIFY(popup() == nullptr);

        // The menu key: the current line's menu, with the keyboard alone.
        pane->setFocus();
        QTest::keyClick(pane, Qt::Key_Home);
        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), pane->mapToGlobal(QPoint()));
        QApplication::sendEvent(pane, &key);
        QTRY_VERIFY(popup() != nullptr);
        QCOMPARE(pane->currentRow(), 0);
        popup()->close();
    }

    void eachItemDoesWhatItSays() {
        const int64_t row = rowOf("/c d/photo 'x'/");
        QVERIFY(row >= 0);
        const QString folder = tree() + "/c d/photo 'x'";

        action(window->resultMenu(row), "Open")->trigger();
        QCOMPARE(opened.back(), (folder + "/").toStdString());

        QMenu* menu = window->resultMenu(row);
        QVERIFY(action(menu, "Show in its parent folder"));
        action(menu, "Show in its parent folder")->trigger();
        // The folder itself is the item, so its parent is shown with it selected.
        QString uri = "file://" + QString::fromLatin1(folder.toUtf8().toPercentEncoding("/"));
        QTRY_COMPARE(standIn->shown(), QStringList{uri});

        QApplication::clipboard()->clear();
        action(window->resultMenu(row), "Copy path")->trigger();
        QCOMPARE(QApplication::clipboard()->text(), folder + "/");
        // The same on the keyboard, for the current line.
        window->rTxt1->setFocus();
        QTest::keyClick(window->rTxt1, Qt::Key_End);
        QApplication::clipboard()->clear();
        QTest::keyClick(window->rTxt1, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QApplication::clipboard()->text(),
                 QString::fromUtf8(window->rTxt1->row(window->rTxt1->rowCount() - 1)));

        action(window->resultMenu(row), "Open a terminal here")->trigger();
        QFile started(work.filePath("terminal"));
        QTRY_VERIFY_WITH_TIMEOUT(started.exists(), 10000);
        QVERIFY(started.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(started.readAll()).trimmed(), folder);
    }
};

QTEST_MAIN(TestResultMenu)
#include "TestResultMenu.moc"

// Measures how live the main window stays during an index run:
//   qvl_liveness TREE
// indexes TREE from the window (the question answered Yes) while a 5 ms timer in the
// window's thread records the longest gap between its ticks; then starts a second run,
// presses Stop after 300 ms and records how long until the walk ended (the drive box is
// unticked) and until the window shows "Canceled.".
#include "GapMeter.h"
#include "ui/UiState.h"
#include "ui/dialogs/frmDialogMessage.h"
#include "ui/kit/mdlLayeredWindow.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace qvl;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qvl_liveness TREE\n");
        return 2;
    }
    QApplication app(argc, argv);
    QTemporaryDir data;
    ui::UiState state;
    state.DbConnect = data.filePath("Files.dat").toStdString();
    state.TemplateFile = (QCoreApplication::applicationDirPath() + "/fresh.dat").toStdString();
    QFile::copy(QString::fromStdString(state.TemplateFile), data.filePath("Files.dat")); // not a first run
    indexer::DriveCatalogue catalogue;
    catalogue.add({'C', indexer::DriveFixed, argv[1]});
    ui::frmMain window(state, catalogue);
    window.Form_Load();
    window.show();

    auto answerYes = [&] { QTimer::singleShot(20, [&] { state.DialogAnswer = 1; }); };
    auto waitForRun = [&] {
        QEventLoop loop;
        QObject::connect(&window, &ui::frmMain::indexRunFinished, &loop, &QEventLoop::quit);
        loop.exec();
    };

    // Run 1: the longest wait of a timer in the window's thread.
    QElapsedTimer clock;
    clock.start();
    GapMeter gaps(clock);
    answerYes();
    window.cmdScan_Click();
    QElapsedTimer run;
    run.start();
    gaps.start();
    waitForRun();
    gaps.stop();
    std::printf("index run: %s in %lld ms; longest gap between 5 ms ticks: %lld ms\n",
                window.lblSearchPath->text().toUtf8().constData(), static_cast<long long>(run.elapsed()),
                static_cast<long long>(gaps.worst()));

    // Run 2: Stop after 300 ms.
    window.driveBox('C')->setChecked(true);
    qint64 pressed = 0, walkEnded = 0;
    QObject::connect(window.driveBox('C'), &QCheckBox::toggled, [&](bool on) {
        if (!on && pressed)
            walkEnded = clock.elapsed();
    });
    answerYes();
    window.cmdScan_Click();
    QTimer::singleShot(300, [&] {
        pressed = clock.elapsed();
        window.cmdPanic_Click();
    });
    waitForRun();
    std::printf("stop: walk ended %lld ms after the press; \"%s\" shown %lld ms after it\n",
                static_cast<long long>(walkEnded - pressed),
                window.lblSearchPath->text().toUtf8().constData(),
                static_cast<long long>(clock.elapsed() - pressed));
    return 0;
}

// Measures a large search in the main window:
//   qvl_searchwindow DATA_DIR NEEDLE [STOP_MS]
// with Files.dat in DATA_DIR (for example a million folders from qvl_genstore), types
// NEEDLE into the search box and presses Enter, then reports the time from Enter to the
// first screen of hits painted and to the final count, the longest gap between the
// ticks of a 5 ms timer in the window's thread meanwhile, and the memory of the pane.
// With STOP_MS, F9 is pressed that long after Enter, and the time from F9 to the end of
// the search is reported too.
#include "BenchWindow.h"
#include "GapMeter.h"
#include "ui/UiState.h"
#include "ui/main/ResultsPane.h"
#include "ui/main/frmMain.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

using namespace qvl;

namespace {

// Notes the time of the first paint of the pane that shows rows.
class FirstPaint : public QObject {
public:
    FirstPaint(ui::ResultsPane* pane, QElapsedTimer& clock)
        : m_pane(pane)
        , m_clock(clock) {}
    qint64 at = -1;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint && at < 0 && m_pane->rowCount() > 0)
            at = m_clock.elapsed();
        return false;
    }

private:
    ui::ResultsPane* m_pane;
    QElapsedTimer& m_clock;
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: qvl_searchwindow DATA_DIR NEEDLE [STOP_MS]\n");
        return 2;
    }
    QApplication app(argc, argv);
    ui::UiState state;
    auto shown = openBenchWindow(state, argv[1]);
    ui::frmMain& window = *shown;

    QElapsedTimer clock;
    clock.start();
    FirstPaint firstPaint(window.rTxt1, clock);
    window.rTxt1->viewport()->installEventFilter(&firstPaint);
    GapMeter gaps(clock);

    window.txtSearchString->setText(QString::fromUtf8(argv[2]));
    QApplication::processEvents();
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    qint64 stopAt = -1;
    if (argc == 4)
        QTimer::singleShot(std::atoi(argv[3]), [&] {
            stopAt = clock.elapsed();
            QKeyEvent f9(QEvent::KeyRelease, Qt::Key_F9, Qt::NoModifier);
            QApplication::sendEvent(window.txtSearchString, &f9);
        });
    clock.restart();
    gaps.start();
    QApplication::sendEvent(window.txtSearchString, &enter);
    qint64 done = clock.elapsed();
    QApplication::processEvents();
    std::printf(
        "%zu hits; first screen %lld ms after Enter; final count %lld ms (\"%s\"); longest gap between "
        "5 ms ticks %lld ms; pane memory %.1f MB\n",
        window.rTxt1->rowCount(), static_cast<long long>(firstPaint.at), static_cast<long long>(done),
        window.lblInfo->text().toUtf8().constData(), static_cast<long long>(gaps.worst()),
        window.rTxt1->memoryBytes() / 1048576.0);
    if (argc == 4)
        std::printf("F9 %lld ms after Enter; the search ended %lld ms after F9\n",
                    static_cast<long long>(stopAt), static_cast<long long>(stopAt < 0 ? -1 : done - stopAt));
    return 0;
}

// Results as you type in the main window:
//   qvl_typing DATA_DIR PAUSE_MS WORD...
// with Files.dat in DATA_DIR (from qvl_genstore), types each WORD into the search box a
// key every PAUSE_MS, results as you type on, and reports for every key the time from the
// key to the first paint of the pane whose first screen holds only names containing the
// text typed so far (case ignored): the median and the worst over all keys, and the
// longest gap between the ticks of a 5 ms timer in the window's thread meanwhile.
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

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace qvl;

namespace {

// Notes when the pane first shows a screen that answers the text typed so far.
class ScreenWatch : public QObject {
public:
    ScreenWatch(ui::ResultsPane* pane, QElapsedTimer& clock)
        : m_pane(pane)
        , m_clock(clock) {}
    QString text;      // typed so far
    qint64 keyAt = -1; // when its last key was sent; -1 once its screen showed
    std::vector<qint64> latencies;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint || keyAt < 0 || m_pane->rowCount() == 0)
            return false;
        const size_t screen = std::min<size_t>(m_pane->rowCount(), 20);
        for (size_t i = 0; i < screen; ++i) {
            QString path = QString::fromUtf8(m_pane->row(i));
            path.chop(1);
            if (!path.mid(path.lastIndexOf('/') + 1).contains(text, Qt::CaseInsensitive))
                return false;
        }
        latencies.push_back(m_clock.elapsed() - keyAt);
        keyAt = -1;
        return false;
    }

private:
    ui::ResultsPane* m_pane;
    QElapsedTimer& m_clock;
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: qvl_typing DATA_DIR PAUSE_MS WORD...\n");
        return 2;
    }
    QApplication app(argc, argv);
    ui::UiState state;
    state.AsYouType = true;
    auto shown = openBenchWindow(state, argv[1]);
    ui::frmMain& window = *shown;

    QElapsedTimer clock;
    clock.start();
    ScreenWatch watch(window.rTxt1, clock);
    window.rTxt1->viewport()->installEventFilter(&watch);
    GapMeter gaps(clock);
    gaps.start();

    // Every key in turn, a word's first key after the box was emptied.
    std::vector<std::pair<bool, QChar>> keys;
    for (int i = 3; i < argc; ++i) {
        const QString word = QString::fromUtf8(argv[i]);
        for (qsizetype j = 0; j < word.size(); ++j)
            keys.emplace_back(j == 0, word[j]);
    }
    size_t next = 0, missed = 0;
    auto report = [&] {
        std::vector<qint64>& l = watch.latencies;
        std::sort(l.begin(), l.end());
        std::printf("%zu keys, a key every %s ms: first screen after the key median %lld ms, worst %lld ms; "
                    "%zu keys whose screen never showed before the next key; longest gap between 5 ms ticks "
                    "%lld ms\n",
                    keys.size(), argv[2], l.empty() ? -1LL : static_cast<long long>(l[l.size() / 2]),
                    l.empty() ? -1LL : static_cast<long long>(l.back()), missed,
                    static_cast<long long>(gaps.worst()));
        std::fflush(stdout);
    };
    QTimer typist;
    typist.setInterval(std::atoi(argv[2]));
    QObject::connect(&typist, &QTimer::timeout, [&] {
        if (watch.keyAt >= 0)
            ++missed; // the last key's screen never showed before this one
        if (next == keys.size()) {
            typist.stop();
            report(); // closing the window ends the process at once
            app.quit();
            return;
        }
        auto [first, c] = keys[next++];
        if (first) {
            window.txtSearchString->clear();
            watch.text.clear();
        }
        watch.text += c;
        watch.keyAt = clock.elapsed();
        QKeyEvent press(QEvent::KeyPress, c.toUpper().unicode(), Qt::NoModifier, QString(c));
        QApplication::sendEvent(window.txtSearchString, &press);
    });
    typist.start();
    return app.exec();
}

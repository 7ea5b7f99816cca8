#pragma once
// Answering a window that a waiting call shows, without betting on how soon it shows.

#include "ui/main/frmMain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <QtTest>

#include <chrono>
#include <functional>

namespace qvl::test {

// The way out when a window never became ready: every visible window but the main one
// (whose closing would end the program) is closed, which releases every waiting call.
inline void closeDialogs() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && !qobject_cast<ui::frmMain*>(w))
            w->close();
}

// Runs `run`, accepting every message box that shows meanwhile (the first-run message
// of a main window's load, where there is one).
inline void acceptingMessages(const std::function<void()>& run) {
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
            box->accept();
    });
    answer.start(10);
    run();
}

// Runs `act` once `ready()` holds, for as long as it lives. `ready()` is checked every few
// milliseconds from whatever event loop runs meanwhile (the waiting call's own), so a slow
// machine only makes it wait longer. If it does not hold within `deadline`, or the call
// still waits `deadline` after `act`, the test fails with `what` and `giveUp` runs, so that
// the waiting call returns: a fault fails the test, it never hangs it. Made just before
// the waiting call:
//     test::Answer answer([&] { return window && window->isVisible(); },
//                         [&] { QTest::keyClick(window, Qt::Key_Y); }, "the question");
//     ShowDialogMessage(...);
class Answer {
public:
    Answer(std::function<bool()> ready, std::function<void()> act, const char* what,
           std::function<void()> giveUp = closeDialogs,
           std::chrono::milliseconds deadline = std::chrono::seconds(60))
        : m_what(what) {
        m_clock.start();
        QObject::connect(&m_poll, &QTimer::timeout, [=, this] {
            if (!m_done && ready()) {
                m_done = true;
                m_clock.restart();
                act();
            } else if (m_clock.elapsed() >= deadline.count()) {
                m_poll.stop();
                QTest::qFail(QByteArray(m_done ? "still waiting after the answer: " : "never ready: ") +
                                 m_what,
                             __FILE__, __LINE__);
                m_done = true;
                giveUp();
            }
        });
        m_poll.start(5);
    }
    ~Answer() {
        if (!m_done)
            QTest::qFail(QByteArray("the call returned before this was ready: ") + m_what, __FILE__,
                         __LINE__);
    }
    Answer(const Answer&) = delete;
    Answer& operator=(const Answer&) = delete;

    bool done() const { return m_done; }

private:
    const char* m_what;
    QTimer m_poll;
    QElapsedTimer m_clock;
    bool m_done = false;
};

// The visible top-level window of type W, if there is one.
template <typename W> W* shownWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<W*>(w); found && found->isVisible())
            return found;
    return nullptr;
}

} // namespace qvl::test

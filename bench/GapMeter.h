#pragma once
// The longest gap between the ticks of a 5 ms timer in the window's thread: how long the
// event loop was kept from running.

#include <QElapsedTimer>
#include <QTimer>

#include <algorithm>

class GapMeter {
public:
    explicit GapMeter(const QElapsedTimer& clock)
        : m_clock(clock) {
        m_ticker.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_ticker, &QTimer::timeout, [this] {
            qint64 now = m_clock.elapsed();
            m_worst = std::max(m_worst, now - m_last);
            m_last = now;
        });
    }
    void start() {
        m_last = m_clock.elapsed();
        m_worst = 0;
        m_ticker.start(5);
    }
    void stop() { m_ticker.stop(); }
    qint64 worst() const { return m_worst; }

private:
    const QElapsedTimer& m_clock;
    QTimer m_ticker;
    qint64 m_last = 0, m_worst = 0;
};

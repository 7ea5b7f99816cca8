// The notice and the error window, driven by keys and clicks.
#include "Answer.h"
#include "ui/UiState.h"
#include "ui/dialogs/Messages.h"
#include "ui/dialogs/frmErrorMessage.h"
#include "ui/dialogs/frmMessage.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QPushButton>
#include <QtTest>

#include <functional>

using namespace qvl;

class TestNotice : public QObject {
    Q_OBJECT

    // The window the waiting call shows, once it is on screen and the call waits for it.
    template <typename W>
    static std::function<bool()> waitingOn(const ui::UiState& state, const QPointer<QWidget>& window) {
        return [s = &state, w = &window] {
            return qobject_cast<W*>(w->data()) && (*w)->isVisible() && s->MessageWaiting != 0;
        };
    }

private slots:
    void init() {
        ui::layeredPlatform().applyAlpha = [](QWidget*, int) { return 0; };
    }

    void waitingNoticeReturnsOnEveryWayOfClosing_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("OK button") << 0 << 0;
        QTest::newRow("X button") << 1 << 0;
        QTest::newRow("Escape") << int(Qt::Key_Escape) << 0;
        QTest::newRow("Alt+F4") << int(Qt::Key_F4) << int(Qt::AltModifier);
        QTest::newRow("F12") << int(Qt::Key_F12) << 0;
    }
    void waitingNoticeReturnsOnEveryWayOfClosing() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        ui::UiState state;
        state.StopRequested = true;
        bool okShown = false;
        test::Answer answer(
            waitingOn<ui::frmMessage>(state, state.notice),
            [&] {
                auto* notice = qobject_cast<ui::frmMessage*>(state.notice.data());
                okShown = notice->cmdMsgOk->isVisible();
                if (key == 0)
                    QTest::mouseClick(notice->cmdMsgOk, Qt::LeftButton);
                else if (key == 1)
                    QTest::mouseClick(notice->cmdClose, Qt::LeftButton);
                else
                    QTest::keyClick(notice, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            },
            "the waiting notice");
        ui::ShowMessage(state, "Setup Saved", "", true, true);
        QVERIFY(okShown);
        QCOMPARE(state.MessageWaiting, int16_t(0));
        QVERIFY(state.StopRequested); // a stop meant for an index run outlives a notice
        QTRY_VERIFY(state.notice.isNull());
    }

    void aNoticeWithoutWaitReturnsAtOnce() {
        ui::UiState state;
        ui::ShowMessage(state, "Loading", "Please wait", false, false);
        auto* notice = qobject_cast<ui::frmMessage*>(state.notice.data());
        QVERIFY(notice && notice->isVisible());
        QVERIFY(!notice->cmdMsgOk->isVisible());
        ui::CloseMessage(state);
        QTRY_VERIFY(state.notice.isNull());
    }

    void secondNoticeReplacesFirstAndReleasesItsWaiter() {
        ui::UiState state;
        QPointer<QWidget> first;
        test::Answer answer(
            waitingOn<ui::frmMessage>(state, state.notice),
            [&] {
                first = state.notice;
                ui::ShowMessage(state, "Second", "", false, false);
            },
            "the first notice");
        ui::ShowMessage(state, "First", "", true, true);
        QTRY_VERIFY(first.isNull());
        QVERIFY(state.notice);
        QCOMPARE(qobject_cast<ui::frmMessage*>(state.notice.data())->lblmsg1->text(), QString("Second"));
        state.notice->close();
    }

    void timeoutCountsTicksFromLastActivation() {
        ui::UiState state;
        ui::ShowMessage(state, "Index done", "", false, false, /*timeout=*/3);
        QPointer<ui::frmMessage> notice = qobject_cast<ui::frmMessage*>(state.notice.data());
        notice->Form_Activate();
        QVERIFY(notice->msgTimer->isActive());
        notice->msgTimer_Timer();
        notice->msgTimer_Timer();
        notice->Form_Activate(); // activated again: the count starts over
        notice->msgTimer_Timer();
        notice->msgTimer_Timer();
        QVERIFY(notice->isVisible());
        notice->msgTimer_Timer();
        QTRY_VERIFY(notice.isNull());
        QCOMPARE(state.MessageTimeout, 0);
    }

    void transparencyWorksFollowsTheOpacityCall() {
        ui::UiState state;
        ui::layeredPlatform().applyAlpha = [](QWidget*, int) { return 120; };
        ui::ShowMessage(state, "Loading", "", false, false);
        qobject_cast<ui::frmMessage*>(state.notice.data())->Form_Activate();
        QVERIFY(!state.TransparencyWorks);
        state.VisualEffects = 0; // nothing is tried, so nothing failed
        qobject_cast<ui::frmMessage*>(state.notice.data())->Form_Activate();
        QVERIFY(state.TransparencyWorks);
        ui::CloseMessage(state);
    }

    void panicEndsTheProgram() {
        ui::UiState state;
        bool ended = false;
        state.endProgramNow = [&] { ended = true; };
        ui::ShowMessage(state, "Working", "", false, false);
        QTest::mouseDClick(qobject_cast<ui::frmMessage*>(state.notice.data())->lblPanic, Qt::LeftButton);
        QVERIFY(ended);
        state.notice->close();
    }

    void errorWindowIgnoresEscapeButNotF12() {
        ui::UiState state;
        bool escapeIgnored = false;
        test::Answer answer(
            waitingOn<ui::frmErrorMessage>(state, state.errorWindow),
            [&] {
                auto* error = qobject_cast<ui::frmErrorMessage*>(state.errorWindow.data());
                QTest::keyClick(error, Qt::Key_Escape);
                escapeIgnored = error->isVisible();
                QTest::keyClick(error, Qt::Key_F12);
            },
            "the error window");
        ui::ShowErrorMessage(state, "Error", "Wrong Criteria", true, true);
        QVERIFY(escapeIgnored);
        QTRY_VERIFY(state.errorWindow.isNull());
    }

    void errorWindowIsReusedAndOkReleasesTheWait() {
        ui::UiState state;
        ui::ShowErrorMessage(state, "Error", "first", false, false);
        QPointer<QWidget> first = state.errorWindow;
        QString shown, title = "?";
        test::Answer answer(
            waitingOn<ui::frmErrorMessage>(state, state.errorWindow),
            [&] {
                auto* error = qobject_cast<ui::frmErrorMessage*>(state.errorWindow.data());
                shown = error->lblmsg2->text();
                title = error->lblTitle->text();
                QTest::mouseClick(error->cmdMsgOk, Qt::LeftButton);
            },
            "the error window shown again");
        ui::ShowErrorMessage(state, "Error", "second", true, true);
        QCOMPARE(shown, QString("second"));
        QVERIFY(title.isEmpty());
        QCOMPARE(first.data(), state.errorWindow.data() ? state.errorWindow.data() : first.data());
        QTRY_VERIFY(state.errorWindow.isNull());
    }
};

QTEST_MAIN(TestNotice)
#include "TestNotice.moc"

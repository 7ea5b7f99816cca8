#include "ui/dialogs/Messages.h"

#include "ui/dialogs/frmDialogMessage.h"
#include "ui/dialogs/frmErrorMessage.h"
#include "ui/dialogs/frmMessage.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include <cmath>

namespace qvl::ui {

namespace {

void pump() {
    QCoreApplication::processEvents();
}

// Runs the event loop until `flag` is 0; nested waits end inner first.
void waitWhileSet(const int16_t& flag) {
    while (flag != 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Puts the lines in, shows the window and, with wait, runs the event loop until the
// user dismisses it. A window closed while the events were pumped has nobody left to
// release the wait, so then there is no wait.
void showAndWait(DialogState& state, NoticeWindow* window, const QString& line1, const QString& line2,
                 bool wait) {
    pump();
    window->setLines(line1, line2);
    pump();
    QPointer<NoticeWindow> open = window;
    window->show();
    window->activateWindow();
    pump();
    if (wait && open && open->isVisible()) {
        state.MessageWaiting = 2;
        waitWhileSet(state.MessageWaiting);
    }
}

} // namespace

void CenterForm(QWidget* window) {
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    QRect whole = screen->geometry();
    QSize outer = window->frameGeometry().size();
    window->move(whole.x() + static_cast<int>(std::lround(whole.width() / 2.0 - outer.width() / 2.0)),
                 whole.y() + static_cast<int>(std::lround(whole.height() / 2.0 - outer.height() / 2.0)));
}

void ShowMessage(DialogState& state, const QString& line1, const QString& line2, bool showOk, bool wait,
                 int32_t timeout, int32_t left, int32_t top) {
    if (state.notice)
        state.notice->close(); // at once, without a fade; releases whoever waited on it
    auto* notice = new frmMessage(state);
    state.notice = notice;
    CenterForm(notice);
    if (timeout > 0)
        state.MessageTimeout = timeout;
    if (left > 0)
        notice->move(left, notice->y());
    if (top > 0)
        notice->move(notice->x(), top);
    if (showOk)
        QApplication::beep();
    notice->setOkVisible(showOk);
    showAndWait(state, notice, line1, line2, wait);
}

void CloseMessage(DialogState& state) {
    QWidget* notice = state.notice;
    if (!notice)
        return;
    if (state.VisualEffects == 1)
        FadeOut(state.VisualEffects, notice, 90, false);
    notice->hide();
    notice->close();
}

void ShowErrorMessage(DialogState& state, const QString& line1, const QString& line2, bool showOk,
                      bool wait) {
    auto* window = qobject_cast<frmErrorMessage*>(state.errorWindow.data());
    if (!window) {
        window = new frmErrorMessage(state);
        state.errorWindow = window;
        CenterForm(window);
    }
    window->setOkVisible(showOk);
    showAndWait(state, window, line1, line2, wait);
}

int16_t ShowDialogMessage(DialogState& state, const QString& line1, const QString& line2,
                          const QString& title, int16_t kind, bool modal, bool alert) {
    if (kind != 1 && kind != 2)
        return 0;
    state.DialogAnswer = 0;
    auto* question = new frmDialogMessage(state);
    state.question = question;
    question->lblTitle->setText(title);
    question->lblmsg1->setText(line1);
    question->lblmsg2->setText(line2);
    if (kind == 2) {
        question->makeRed();
        question->cmdMsgYes->setText("&Ok");
        question->cmdNo->setText("&Cancel");
    }
    if (alert)
        question->makeRed();
    question->setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
    question->show();
    question->activateWindow();
    while (state.DialogAnswer == 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (state.DialogAnswer == 1)
        return kind == 1 ? 6 : 1;
    return kind == 1 ? 7 : 2;
}

} // namespace qvl::ui

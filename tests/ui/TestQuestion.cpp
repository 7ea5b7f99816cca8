// The question window: answers by key and click, kinds, colours.
#include "Answer.h"
#include "ui/UiState.h"
#include "ui/dialogs/Messages.h"
#include "ui/dialogs/frmDialogMessage.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QApplication>
#include <QtTest>

#include <functional>

using namespace qvl;

class TestQuestion : public QObject {
    Q_OBJECT

    ui::UiState state;

    int16_t ask(int16_t kind, std::function<void(ui::frmDialogMessage*)> answer, bool alert = false) {
        test::Answer reply(
            [this] { return state.question && state.question->isVisible(); },
            [this, answer] { answer(qobject_cast<ui::frmDialogMessage*>(state.question.data())); },
            "the question");
        return ui::ShowDialogMessage(state, "Rescan Drives?", "", "Quorvel", kind, true, alert);
    }

private slots:
    void init() {
        ui::layeredPlatform().applyAlpha = [](QWidget*, int) { return 0; };
    }

    void yesNoAnswers() {
        QCOMPARE(ask(1, [](auto* q) { QTest::keyClick(q, Qt::Key_Y); }), int16_t(6));
        QCOMPARE(ask(1, [](auto* q) { QTest::keyClick(q, Qt::Key_N); }), int16_t(7));
        QCOMPARE(ask(1, [](auto* q) { QTest::keyClick(q, Qt::Key_Escape); }), int16_t(7));
        QCOMPARE(ask(1, [](auto* q) { QTest::mouseClick(q->cmdMsgYes, Qt::LeftButton); }), int16_t(6));
        QCOMPARE(ask(1, [](auto* q) { QTest::mouseClick(q->ImgClose, Qt::LeftButton); }), int16_t(7));
        // Closed by the window manager: counted as No, so the caller never waits for ever.
        QCOMPARE(ask(1, [](auto* q) { q->close(); }), int16_t(7));
    }

    void okCancelAnswersOneOrTwoAndAnAlertKeepsYesNo() {
        QString yes;
        QCOMPARE(ask(2,
                     [&](auto* q) {
                         yes = q->cmdMsgYes->text();
                         QTest::keyClick(q, Qt::Key_Y);
                     }),
                 int16_t(1));
        QCOMPARE(yes, QString("&Ok"));
        QCOMPARE(ask(2, [](auto* q) { QTest::mouseClick(q->cmdNo, Qt::LeftButton); }), int16_t(2));
        QCOMPARE(ask(
                     1, [&](auto* q) { yes = q->cmdMsgYes->text(), QTest::keyClick(q, Qt::Key_N); }, true),
                 int16_t(7));
        QCOMPARE(yes, QString("&Yes"));
    }

    void otherKindsShowNothing() {
        for (int16_t kind : {0, 3}) {
            QCOMPARE(ui::ShowDialogMessage(state, "x", "y", "t", kind, true, false), int16_t(0));
            for (QWidget* w : QApplication::topLevelWidgets())
                QVERIFY(w->objectName() != "frmDialogMessage" || !w->isVisible());
        }
    }
};

QTEST_MAIN(TestQuestion)
#include "TestQuestion.moc"

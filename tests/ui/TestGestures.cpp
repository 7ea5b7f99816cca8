// The quick menu, the keyboard map, the gestures, the section numbers and dragging a window.
#include "Answer.h"
#include "ui/UiState.h"
#include "ui/kit/ARGradient.h"
#include "ui/kit/mdlLayeredWindow.h"
#include "ui/main/frmMain.h"
#include "ui/main/frmQuickMenu.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

using namespace qvl;

class TestGestures : public QObject {
    Q_OBJECT

    QTemporaryDir data;
    std::unique_ptr<ui::UiState> state;
    std::unique_ptr<ui::frmMain> window;

    void press(Qt::Key key, Qt::KeyboardModifiers mods) {
        QTest::keyClick(window->txtSearchString, key, mods);
    }

private slots:
    void init() {
        ui::layeredPlatform().applyAlpha = [](QWidget*, int) { return 0; };
        state = std::make_unique<ui::UiState>();
        state->DbConnect = QDir(data.path()).filePath("Files.dat").toStdString();
        QFile::copy(QVL_TEMPLATE, QString::fromStdString(state->DbConnect)); // not a first run
        window = std::make_unique<ui::frmMain>(*state, indexer::DriveCatalogue());
        window->Form_Load();
        window->show();
    }
    void cleanup() { window.reset(); }

    void rightPressesToggleOneMenu() {
        QTest::mousePress(window.get(), Qt::RightButton, {}, QPoint(100, 300));
        QPointer<QWidget> menu = state->quickMenu;
        QVERIFY(menu && menu->isVisible());
        QCOMPARE(menu->pos(), window->pos() + QPoint(100, 300));
        QTest::mousePress(window.get(), Qt::RightButton, {}, QPoint(100, 300));
        QVERIFY(menu && !menu->isVisible()); // hidden, not destroyed
        QTest::mousePress(window.get(), Qt::RightButton, {}, QPoint(200, 320));
        QCOMPARE(state->quickMenu.data(), menu.data());
        QVERIFY(menu->isVisible());
        QCOMPARE(menu->pos(), window->pos() + QPoint(200, 320));

        QTest::keyClick(menu, Qt::Key_Escape);
        QVERIFY(!menu->isVisible());
        QTest::mousePress(window.get(), Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(state->quickMenu.data(), menu.data()); // shown again without a new load
        QVERIFY(menu->isVisible());
    }

    void aCommandButtonDestroysTheMenuFirst() {
        QTest::mousePress(window.get(), Qt::RightButton, {}, QPoint(50, 300));
        QPointer<ui::frmQuickMenu> menu = qobject_cast<ui::frmQuickMenu*>(state->quickMenu.data());
        bool menuGoneDuringCommand = false;
        test::Answer answer([this] { return state->about && state->about->isVisible(); },
                            [&] {
                                menuGoneDuringCommand =
                                    !state->quickMenu && (menu.isNull() || !menu->isVisible());
                                state->about->close();
                            },
                            "the about window");
        QTest::mouseClick(menu->Command[4], Qt::LeftButton); // "about", modal
        QVERIFY(menuGoneDuringCommand);
        QTRY_VERIFY(menu.isNull());
        QTest::mousePress(window.get(), Qt::RightButton, {}, QPoint(50, 300));
        QVERIFY(state->quickMenu && state->quickMenu.data() != menu.data()); // a new one
    }

    void cornerKeysPlaceTheWindow() {
        QRect screen = window->screen()->geometry();
        press(Qt::Key_3, Qt::AltModifier);
        // 1024 x 768 gives 471, 234: 7065 and 3510 twips.
        QCOMPARE(window->pos(), QPoint(screen.width() - 553, screen.height() - 534));
        press(Qt::Key_1, Qt::AltModifier);
        QCOMPARE(window->pos(), QPoint(0, 0)); // 1 twip
    }

    void altPShowsHidesShowsTheNumbers() {
        press(Qt::Key_P, Qt::AltModifier);
        QWidget* one = window->sectionNumber(1);
        QWidget* two = window->sectionNumber(2);
        QVERIFY(one && one->isVisible() && two->isVisible());
        QCOMPARE(one->geometry().right() + 1, window->x()); // just left of the window
        press(Qt::Key_P, Qt::AltModifier);
        QVERIFY(!one->isVisible() && !two->isVisible());
        press(Qt::Key_P, Qt::AltModifier);
        QVERIFY(one->isVisible() && two->isVisible());
        press(Qt::Key_P, Qt::AltModifier | Qt::ShiftModifier); // not the map's key
        QVERIFY(one->isVisible());
    }

    void f1WithShiftStillOpensAbout() {
        press(Qt::Key_F1, Qt::ShiftModifier);
        QVERIFY(state->about && state->about->isVisible());
        state->about->close();
    }

    void draggingTheStripMovesItsWindow() {
        QWidget host;
        host.resize(200, 100);
        auto* strip = new ui::ARGradient(&host);
        strip->setGeometry(0, 0, 200, 17);
        strip->setMoveform(true);
        host.move(100, 100);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QPoint before = host.pos();
        QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(10, 5));
        QTest::mouseMove(strip, QPoint(50, 25));
        QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(50, 25));
        QCOMPARE(host.pos() - before, QPoint(40, 20));

        strip->setMoveform(false);
        before = host.pos();
        QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(10, 5));
        QTest::mouseMove(strip, QPoint(50, 25));
        QCOMPARE(host.pos(), before);
    }
};

QTEST_MAIN(TestGestures)
#include "TestGestures.moc"

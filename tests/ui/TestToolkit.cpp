// Settings and the gradient panel.
#include "ui/Settings.h"
#include "ui/kit/ARGradient.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace qvl;

class TestToolkit : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir;

private slots:
    void initTestCase() {
        // A fresh account's settings: a folder of their own; on Windows the registry key, emptied.
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL").clear();
    }
    void cleanupTestCase() { QSettings(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL").clear(); }

    void settingsDefaultsRoundTripAndDamage() {
        int16_t explorer = 7, effects = 7;
        ui::LoadSettings(explorer, effects);
        QCOMPARE(explorer, int16_t(1)); // a fresh account: both on
        QCOMPARE(effects, int16_t(1));

        ui::SaveSettings(0, 0);
        QSettings raw(QSettings::NativeFormat, QSettings::UserScope, "QVL", "QVL");
        QCOMPARE(raw.value("Setup/ExplorerMode").toString(), QString("0"));
        ui::LoadSettings(explorer, effects);
        QCOMPARE(explorer, int16_t(0));
        QCOMPARE(effects, int16_t(0));

        raw.setValue("Setup/ExplorerMode", "sometimes"); // a word makes both 1
        raw.sync();
        ui::LoadSettings(explorer, effects);
        QCOMPARE(explorer, int16_t(1));
        QCOMPARE(effects, int16_t(1));
    }

    void draggingTheStripMovesItsWindow() {
        QWidget window;
        window.resize(200, 100);
        auto* strip = new ui::ARGradient(&window);
        strip->setGeometry(0, 0, 200, 17);
        strip->setMoveform(true);
        window.move(100, 100);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QPoint before = window.pos();
        QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(10, 5));
        QTest::mouseMove(strip, QPoint(50, 25));
        QTest::mouseRelease(strip, Qt::LeftButton, {}, QPoint(50, 25));
        QCOMPARE(window.pos() - before, QPoint(40, 20));

        strip->setMoveform(false);
        before = window.pos();
        QTest::mousePress(strip, Qt::LeftButton, {}, QPoint(10, 5));
        QTest::mouseMove(strip, QPoint(50, 25));
        QCOMPARE(window.pos(), before);
    }
};

QTEST_MAIN(TestToolkit)
#include "TestToolkit.moc"

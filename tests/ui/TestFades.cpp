// Opacity arithmetic and the fade sequences, with a driven clock.
#include "ui/UiState.h"
#include "ui/kit/mdlLayeredWindow.h"

#include <QtTest>

#include <deque>
#include <vector>

using namespace qvl;

class TestFades : public QObject {
    Q_OBJECT

    ui::UiState state;
    QWidget window;
    std::vector<int> applied;   // every alpha that reached the window
    std::deque<uint32_t> ticks; // what the clock answers, in order; then 0

    std::vector<int> alphas(std::vector<int> percents) {
        std::vector<int> out;
        for (int p : percents)
            out.push_back(ui::alphaForPercent(static_cast<int16_t>(p)));
        return out;
    }

private slots:
    void init() {
        applied.clear();
        ticks.clear();
        state.VisualEffects = 1;
        ui::layeredPlatform().applyAlpha = [this](QWidget*, int alpha) {
            applied.push_back(alpha);
            return 0;
        };
        ui::layeredPlatform().tickCount = [this] {
            if (ticks.empty())
                return uint32_t(0);
            uint32_t t = ticks.front();
            ticks.pop_front();
            return t;
        };
    }

    void fadeOutStepsByOneWhenTheFirstChangeTookNoTime() {
        ui::FadeOut(state.VisualEffects, &window, 90, false);
        std::vector<int> want;
        for (int p = 90; p >= 0; --p)
            want.push_back(p);
        want.push_back(0);
        QVERIFY(applied == alphas(want));
    }

    void fadeInMeasuresItsStepOnce() {
        ticks = {100, 116}; // the first change took 16 ms: 16 / 5 = 3.2, a step of 3
        ui::FadeIn(state.VisualEffects, &window, 90, false);
        std::vector<int> want;
        for (int p = 0; p <= 90; p += 3)
            want.push_back(p);
        want.push_back(90);
        QVERIFY(applied == alphas(want));
    }

    void fadeStepSurvivesClockWrapAround() {
        ticks = {0xFFFFFFFEu, 8}; // 10 ms across the wrap: a step of 10
        ui::FadeOut(state.VisualEffects, &window, 90, false);
        QVERIFY(applied == alphas({90, 80, 70, 60, 50, 40, 30, 20, 10, 0, 0}));
    }

    void fadeInToNegativeTargetEndsOpaque() {
        ui::FadeIn(state.VisualEffects, &window, -5, false);
        QVERIFY(applied == std::vector<int>{255});
    }

    void effectsOffDoesNothingUnlessForced() {
        state.VisualEffects = 0;
        QCOMPARE(ui::SetTransparency(state.VisualEffects, &window, 30, false), 0);
        ui::FadeOut(state.VisualEffects, &window, 90, false);
        ui::FadeIn(state.VisualEffects, &window, 90, false);
        QVERIFY(applied.empty());
        QCOMPARE(ui::SetTransparency(state.VisualEffects, &window, 30, true), 0);
        QVERIFY(applied == std::vector<int>{76});
    }

    void unsupportedPlatformReportsANumberAndLeavesTheWindow() {
        ui::layeredPlatform().applyAlpha = [](QWidget*, int) { return 120; };
        QVERIFY(ui::SetTransparency(state.VisualEffects, &window, 50, false) != 0);
        QCOMPARE(window.windowOpacity(), 1.0);
    }
};

QTEST_MAIN(TestFades)
#include "TestFades.moc"

// Every window's captions fit their controls, whatever face stands in for the fonts the
// windows name: CTest runs this once with the metric-compatible faces and once with
// DejaVu Sans alone (a fontconfig file of its own for each run).
#include "indexer/DriveCatalogue.h"
#include "ui/UiState.h"
#include "ui/dialogs/frmAbout.h"
#include "ui/dialogs/frmAbout2.h"
#include "ui/dialogs/frmDialogMessage.h"
#include "ui/dialogs/frmDocument.h"
#include "ui/dialogs/frmErrorMessage.h"
#include "ui/dialogs/frmHistorySearch.h"
#include "ui/dialogs/frmMDAC.h"
#include "ui/dialogs/frmMessage.h"
#include "ui/dialogs/frmSetup.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/WrapCheckBox.h"
#include "ui/main/frmMain.h"
#include "ui/main/frmPart.h"
#include "ui/main/frmQuickMenu.h"
#include "ui/main/frmSplash.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGlyphRun>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QSettings>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QtTest>

#include <memory>

using namespace qvl;

namespace {

// Each caption against the part of its control the style paints text in: the label's
// contents, the check box's or radio button's contents beside the indicator, the button
// less its bevel. A single line may end in its last glyph's blank right bearing.
QStringList overflows(QWidget* window) {
    QStringList found;
    auto report = [&](QWidget* w, const QString& text, int need, int room) {
        if (need > room)
            found << QString("%1/%2 \"%3\" (%4 %5 pt): needs %6 px, has %7")
                         .arg(window->objectName(), w->objectName(), text, QFontInfo(w->font()).family())
                         .arg(w->font().pointSizeF())
                         .arg(need)
                         .arg(room);
    };
    auto ink = [](const QFontMetrics& fm, const QString& text) {
        return std::min(fm.horizontalAdvance(text), fm.tightBoundingRect(text).right() + 1);
    };
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(window))
            continue;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            QString text = label->text();
            if (text.isEmpty() || Qt::mightBeRichText(text))
                continue;
            QRect room = label->contentsRect();
            if (label->wordWrap())
                report(label, text,
                       label->fontMetrics()
                           .boundingRect(room, Qt::TextWordWrap | label->alignment(), text)
                           .height(),
                       room.height());
            else
                report(label, text, ink(label->fontMetrics(), text), room.width());
            continue;
        }
        auto* button = qobject_cast<QAbstractButton*>(w);
        if (!button || button->text().isEmpty())
            continue;
        QString text = QString(button->text()).remove('&');
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = text;
        const QFontMetrics fm = button->fontMetrics();
        if (qobject_cast<ui::WrapCheckBox*>(button)) {
            int left =
                button->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, button).right() + 6;
            QRect room = button->rect().adjusted(left, 0, 0, 0);
            report(button, text, fm.boundingRect(room, Qt::TextWordWrap, text).height(), room.height());
        } else if (qobject_cast<QCheckBox*>(button)) {
            report(button, text, ink(fm, text),
                   button->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, button).width());
        } else if (qobject_cast<QRadioButton*>(button)) {
            report(button, text, ink(fm, text),
                   button->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, button).width());
        } else {
            report(button, text, ink(fm, text) + 4, button->width());
        }
    }
    return found;
}

} // namespace

class TestTextFit : public QObject {
    Q_OBJECT

    QTemporaryDir settingsDir;
    std::unique_ptr<ui::UiState> state;
    QStringList problems;

    void check(QWidget* window) {
        window->show();
        QCoreApplication::processEvents();
        problems << overflows(window);
    }

private slots:
    void initTestCase() {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
        state = std::make_unique<ui::UiState>();
        ui::installFonts();
        qInfo() << "faces:" << QFontDatabase::families();
    }

    void everyWindowsCaptionsFit() {
        indexer::DriveCatalogue catalogue;
        QVERIFY(catalogue.parse("C=/;D:cdrom=/;Z:network=/").empty());
        state->DbConnect = settingsDir.filePath("Files.dat").toStdString();
        auto main = std::make_unique<ui::frmMain>(*state, catalogue);
        check(main.get());
        check(std::make_unique<ui::frmSetup>(*state, settingsDir.path().toStdString(), [] {}).get());
        check(std::make_unique<ui::frmAbout>(*state).get());
        check(std::make_unique<ui::frmAbout2>(*state).get());
        check(std::make_unique<ui::frmDocument>(*state, ui::frmDocument::Kind::Help).get());
        check(std::make_unique<ui::frmDocument>(*state, ui::frmDocument::Kind::History).get());
        check(std::make_unique<ui::frmMDAC>(*state).get());
        check(std::make_unique<ui::frmSplash>().get());
        check(std::make_unique<ui::frmQuickMenu>(*state, [](const QString&) {}).get());
        for (int number : {1, 2})
            check(std::make_unique<ui::frmPart>(*state, number, main.get(), 0).get());
        // The messages the program shows, each in its window.
        for (auto [line1, line2] : std::initializer_list<std::pair<const char*, const char*>>{
                 {"Loading", "Please wait"}, {"Setup Saved", ""}, {"Openning Explorer", "please wait"}}) {
            auto notice = std::make_unique<ui::frmMessage>(*state);
            notice->setLines(line1, line2);
            check(notice.get());
        }
        for (auto [line1, line2] : std::initializer_list<std::pair<const char*, const char*>>{
                 {"Index damaged", "Please Re Index your drives"},
                 {"No index", "Please Re Index your drives"},
                 {"Error", "Wrong Criteria"},
                 {"Can't show history", "Please Re Index your drives"},
                 {"Setup not saved", "The settings store cannot be written"},
                 {"Index not complete", "Cannot write the index"}}) {
            auto error = std::make_unique<ui::frmErrorMessage>(*state);
            error->setLines(line1, line2);
            check(error.get());
        }
        auto question = std::make_unique<ui::frmDialogMessage>(*state);
        question->lblTitle->setText("Quorvel");
        question->lblmsg1->setText("Rescan Drives?");
        check(question.get());
        for (const QString& p : problems)
            qWarning().noquote() << p;
        QVERIFY2(problems.isEmpty(), qPrintable(QString("%1 captions do not fit").arg(problems.size())));
    }

    // A folder name with emoji and symbols is drawn from a face that has them, never as
    // the empty box, when such a face is installed (the metric run has Noto Color Emoji).
    void symbolsInFolderNamesAreGlyphs() {
        if (!QFontDatabase::hasFamily("Noto Color Emoji"))
            QSKIP("no emoji face on this system");
        indexer::DriveCatalogue catalogue;
        auto main = std::make_unique<ui::frmMain>(*state, catalogue);
        QWidget* pane = main->findChild<QWidget*>("rTxt1");
        QVERIFY(pane);
        QTextLayout layout(QString::fromUtf8("Photos \U0001F4F7 \u2605 2020 \U0001F600"), pane->font());
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        QStringList faces;
        for (const QGlyphRun& run : layout.glyphRuns()) {
            faces << run.rawFont().familyName();
            for (quint32 glyph : run.glyphIndexes())
                QVERIFY2(glyph != 0, qPrintable("a box in " + run.rawFont().familyName()));
        }
        QVERIFY2(faces.contains("Noto Color Emoji"), qPrintable(faces.join(", ")));
    }
};

QTEST_MAIN(TestTextFit)
#include "TestTextFit.moc"

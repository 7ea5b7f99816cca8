// The controls of the main window at the places, sizes, captions, colours and fonts of
// its layout tables, in twips converted to pixels at 15 to 1.
#include "ui/kit/ARGradient.h"
#include "ui/kit/ClickLabel.h"
#include "ui/kit/Shape.h"
#include "ui/kit/Twips.h"
#include "ui/kit/Widgets.h"
#include "ui/kit/frmPic.h"
#include "ui/main/ResultsPane.h"
#include "ui/main/frmMain.h"

namespace qvl::ui {

namespace {

constexpr int kWidth = 8295, kHeight = 8010;
const QColor kScanGround(222, 220, 211);

template <class W> W* place(W* widget, const char* name, int left, int top, int width, int height) {
    widget->setObjectName(name);
    widget->setGeometry(pxRect(left, top, width, height));
    return widget;
}

ARGradient* gradient(QWidget* parent, const char* name, QRect twips, uint32_t from, uint32_t to) {
    return makeGradient(parent, name, pxRect(twips.x(), twips.y(), twips.width(), twips.height()), from, to);
}

Shape* rectangle(QWidget* parent, const char* name, QRect twips, QColor border = QColor(128, 128, 128)) {
    return place(new Shape(parent, border), name, twips.x(), twips.y(), twips.width(), twips.height());
}

// A line control, drawn as a one-pixel strip.
QWidget* line(QWidget* parent, const char* name, int x1, int y1, int x2, int y2) {
    auto* l = new QWidget(parent);
    l->setObjectName(name);
    l->setGeometry(px(std::min(x1, x2)), px(std::min(y1, y2)), std::max(1, px(std::abs(x2 - x1))),
                   std::max(1, px(std::abs(y2 - y1))));
    QPalette p = l->palette();
    p.setColor(QPalette::Window, QColor(128, 128, 128));
    l->setPalette(p);
    l->setAutoFillBackground(true);
    return l;
}

// A button with its picture above its caption.
QToolButton* pictureButton(QWidget* parent, const char* name, const QString& caption, const QString& tip,
                           QIcon picture, QRect twips) {
    auto* b = place(new QToolButton(parent), name, twips.x(), twips.y(), twips.width(), twips.height());
    b->setText(caption);
    b->setToolTip(tip);
    b->setIcon(picture);
    b->setIconSize(QSize(28, 28));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    return b;
}

void setBackground(QWidget* w, QColor color) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, color);
    p.setColor(QPalette::Button, color);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

// The option captions are laid out for Tahoma; in a wider face they were cut off and ran
// into each other. Each option takes the width its caption needs, the second of a row
// moves right of the first where it must, and the two frames widen together to hold
// them, no further than `widest`. Only what still does not fit gets a smaller face.
void fitOptions(QGroupBox* top, QGroupBox* bottom, const std::array<QRadioButton*, 2>& row,
                const std::array<QRadioButton*, 2>& column, int widest) {
    const int gap = px(120);
    auto arrange = [&] {
        int right = 0;
        for (QRadioButton* o : {row[0], row[1], column[0], column[1]}) {
            o->resize(o->sizeHint().width(), o->height());
            if (o == row[1])
                o->move(std::max(o->x(), row[0]->geometry().right() + 1 + gap), o->y());
            right = std::max(right, o->geometry().right() + 1);
        }
        return right + gap;
    };
    int need = arrange();
    for (qreal size = row[0]->font().pointSizeF(); need > widest && size > 6; size -= 0.25) {
        for (QRadioButton* o : {row[0], row[1], column[0], column[1]}) {
            QFont f = o->font();
            f.setPointSizeF(size - 0.25);
            o->setFont(f);
        }
        need = arrange();
    }
    int width = std::clamp(need, top->width(), widest);
    top->resize(width, top->height());
    bottom->resize(width, bottom->height());
}

} // namespace

void frmMain::buildLayout() {
    setObjectName("frmMain");
    setWindowTitle("Quorvel");
    setFixedSize(px(kWidth), px(kHeight));
    setFont(makeFont("Tahoma", 8.25, false));
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    setBackground(this, Qt::white);
    buildScanSection();
    buildFindSection();
    buildTitleBar();
    buildBottomBar();
}

void frmMain::buildTitleBar() {
    ARGradient1 = gradient(this, "ARGradient1", {0, 0, 8295, 285}, bgr(64, 64, 64), bgr(224, 224, 224));
    ARGradient1->setOrientation(2);
    ARGradient1->setMoveform(true);
    lblTitle = makeLabel(ARGradient1, "lblTitle", "", pxRect(360, 25, 4575, 240), makeFont("Tahoma", 9),
                         QColor(128, 255, 255));
    lblTimeDate = place(new ClickLabel(ARGradient1), "lblTimeDate", 4680, 45, 3015, 210);
    lblTimeDate->setFont(makeFont("Tahoma", 9));
    lblTimeDate->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setTextColor(lblTimeDate, QColor(83, 116, 125));
    cmdMinimize = place(new QPushButton("-", ARGradient1), "cmdMinimize", 7800, 0, 255, 270);
    cmdClose = place(new QPushButton(ARGradient1), "cmdClose", 8040, 0, 255, 270);
    for (QPushButton* b : {cmdMinimize, cmdClose}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setFlat(true);
        setBackground(b, Qt::white);
    }
    cmdClose->setIcon(m_state.pictures().picture("cmdCancel"));
    cmdClose->setIconSize(QSize(14, 14));
    line(ARGradient1, "Line2", 8280, 0, 8280, 350);
}

void frmMain::buildScanSection() {
    auto* ground = rectangle(this, "Shape2", {0, 240, 8295, 2415}, kScanGround);
    ground->setFill(kScanGround);
    line(this, "Line1", 0, 2640, 8280, 2640);

    rectangle(this, "Shape6", {120, 350, 2415, 885});
    makeLabel(this, "Label4", "Drives to scan:", pxRect(247, 380, 1335, 255), makeFont("Tahoma", 8.25),
              QColor(0, 0, 255));
    makeLabel(this, "Label3", "Drives to scan:", pxRect(240, 375, 1335, 255), makeFont("Tahoma", 8.25),
              QColor(0, 0, 192));
    makeLabel(this, "Label5", "(ToolTip contains drive info)", pxRect(240, 585, 2055, 255),
              makeFont("Tahoma", 8.25, false), QColor(64, 64, 64));
    cboPreset = place(new QComboBox(this), "cboPreset", 240, 795, 2175, 315);
    for (const char* entry : indexer::kPresetEntries)
        cboPreset->addItem(entry);
    cboPreset->setPlaceholderText("Fast Drives Presets:");
    cboPreset->setCurrentIndex(-1);

    rectangle(this, "Shape3", {4320, 300, 3855, 975});
    frmPic& pic = m_state.pictures();
    cmdSetup = pictureButton(this, "cmdSetup", "Se&tup", "-setup-", {}, {4440, 360, 1215, 855});
    cmdHelp2 =
        pictureButton(this, "cmdHelp2", "&Help", "-help-", pic.picture("cmdHelp"), {5640, 360, 1215, 855});
    cmdAbout = pictureButton(this, "cmdAbout", "About (F1)", "-about-", pic.picture("cmdHG"),
                             {6840, 360, 1215, 855});

    gradient(this, "ARGradient6", {30, 1320, 3765, 30}, bgr(255, 255, 255), bgr(128, 128, 128));
    gradient(this, "ARGradient7", {3750, 1320, 2895, 30}, bgr(222, 220, 211), bgr(128, 128, 128));
    rectangle(this, "Shape1", {360, 1365, 5775, 855});
    gradient(this, "ARGradient2", {6135, 1695, 370, 165}, bgr(222, 220, 211), bgr(255, 255, 255));

    m_drives.build(this);

    shMark = rectangle(this, "shMark", {6795, 1320, 1305, 880}, QColor(255, 0, 0));
    shMark->setBorderWidth(2);
    cmdScan =
        pictureButton(this, "cmdScan", "&Index Drives", "Use this only once, to re-scan your Hard Drives.",
                      pic.picture("cmdIndex"), {6840, 1330, 1215, 855});
    makeLabel(this, "Label1", "Scanning:", pxRect(120, 2210, 2055, 255), makeFont("Tahoma", 8.25, false),
              Qt::black);
    lblSearchPath = makeLabel(this, "lblSearchPath", "(nothing)", pxRect(120, 2400, 7935, 210),
                              makeFont("Tahoma", 8.25, false), Qt::black);
}

void frmMain::buildFindSection() {
    lblFindDirectory =
        place(new ClickLabel("Find Directory:", this), "lblFindDirectory", 600, 2730, 1335, 200);
    setTextColor(lblFindDirectory, QColor(0, 0, 128));
    txtSearchString =
        place(new QLineEdit("Enter Text Here.", this), "txtSearchString", 2040, 2710, 2415, 285);
    QPalette p = txtSearchString->palette();
    p.setColor(QPalette::Text, Qt::blue);
    p.setColor(QPalette::Base, Qt::white);
    txtSearchString->setPalette(p);

    imgHistorySearch = place(new ClickLabel(this), "imgHistorySearch", 4440, 2630, 480, 480);
    imgHistorySearch->setPixmap(m_state.pictures().picture("cmdHG").pixmap(28, 28));
    lblHistory = place(new ClickLabel("   ", this), "lblHistory", 4500, 2710, 390, 300);
    for (QWidget* w : {static_cast<QWidget*>(imgHistorySearch), static_cast<QWidget*>(lblHistory)})
        w->setToolTip("History Search Strings");

    rectangle(this, "Shape5", {5160, 2805, 2895, 1140});
    frmPic& pic = m_state.pictures();
    cmdGoSearch = pictureButton(this, "cmdGoSearch", "&Find (F3)", "Find", pic.picture("cmdHG"),
                                {5280, 2880, 1335, 975});
    cmdPanic = pictureButton(this, "cmdPanic", "&Stop (F9)", "\"Panic!\" Button.", pic.picture("cmdStop1"),
                             {6600, 2880, 1335, 975});

    fSearchOpt = place(new QGroupBox("Search Options:", this), "fSearchOpt", 720, 3000, 3735, 675);
    Option1 =
        place(new QRadioButton("&Containing Search String", fSearchOpt), "Option1", 240, 240, 1800, 300);
    Option2 = place(new QRadioButton("&Exact Search", fSearchOpt), "Option2", 2040, 240, 1500, 300);
    fSearchDrives =
        place(new QGroupBox("Drive Search Options:", this), "fSearchDrives", 720, 3720, 3735, 840);
    Option4 =
        place(new QRadioButton("Search &All Indexed Drives", fSearchDrives), "Option4", 240, 240, 3300, 225);
    Option3 = place(new QRadioButton("Selected Dri&ves Only (from upper panel)", fSearchDrives), "Option3",
                    240, 469, 3400, 300);
    // Up to the frame of the Find and Stop buttons, less a gap.
    fitOptions(fSearchOpt, fSearchDrives, {Option1, Option2}, {Option4, Option3}, px(5160 - 90 - 720));

    gradient(this, "ARGradient4", {360, 4680, 2775, 135}, bgr(255, 255, 255), bgr(0, 0, 255));
    gradient(this, "ARGradient5", {5160, 4680, 2895, 135}, bgr(255, 255, 255), bgr(0, 0, 255));
    Shape4 = rectangle(this, "Shape4", {3120, 4560, 2055, 375}, Qt::white);
    Shape4->setFill(Qt::white);
    Label2 = makeLabel(this, "Label2", "Search Results", pxRect(2760, 4590, 2775, 255),
                       makeFont("Tahoma", 12), QColor(0, 0, 128), Qt::AlignCenter);

    txtDir = place(new QLineEdit("Clicked Directory goes here.", this), "txtDir", 120, 6840, 6255, 285);
    txtDir->hide();
    rTxt1 = place(new ui::ResultsPane(this), "rTxt1", 120, 4920, 8055, 2775);
    rTxt1->setToolTip("Double-Click on this window to go to Directory.");

    lblInfo = makeLabel(this, "lblInfo", "0 Matches", pxRect(120, 7740, 4110, 255),
                        makeFont("Tahoma", 8.25, false), Qt::black);
    makeLabel(this, "Label6", "Written by", pxRect(5640, 7740, 1095, 255), makeFont("Tahoma", 8.25, false),
              Qt::black);
    lblEmail = place(new ClickLabel(this), "lblEmail", 6480, 7740, 975, 255);
    lblEmail->setAlignment(Qt::AlignCenter);
    setTextColor(lblEmail, Qt::blue);
    lblEmail->setToolTip("Send me an email for any questions or comments...");
    makeLabel(this, "Label7", "(c) 2026", pxRect(7440, 7740, 735, 255), makeFont("Tahoma", 8.25, false),
              Qt::black);

    m_line3 = line(this, "Line3", 8280, 0, 8280, kHeight);
    m_line4 = line(this, "Line4", 0, 240, 0, kHeight);
    m_line5 = line(this, "Line5", 0, kHeight - 10, 8280, kHeight - 10);
}

void frmMain::buildBottomBar() {
    tb1 = place(new QWidget(this), "tb1", 0, kHeight - 495, 8295, 495);
    setBackground(tb1, QColor(192, 192, 192));
    tb1->hide();
    ARGradient3 = gradient(tb1, "ARGradient3", {-120, 0, 8490, 150}, bgr(255, 255, 255), bgr(192, 192, 192));
    ARGradient3->setMoveform(true);
    circ1 = rectangle(tb1, "circ1", {240, 150, 255, 255}, QColor(128, 128, 128));
    circ1->setCircle(true);
    circ1->setFill(QColor(128, 128, 128));
    circ2 = rectangle(tb1, "circ2", {7800, 150, 375, 255}, QColor(64, 64, 64));
    circ2->setCircle(true);
    circ2->setFill(QColor(64, 64, 64));
    makeLabel(tb1, "Label8", "Quorvel", pxRect(1680, 120, 5055, 375), makeFont("Tahoma", 12),
              QColor(0, 0, 128), Qt::AlignCenter);
    auto* label9 = place(new ClickLabel(">>", tb1), "Label9", 2400, 105, 615, 255);
    auto* bd1 = place(new ClickLabel(">>", tb1), "lblBD1", 5640, 120, 855, 375);
    for (QLabel* l : {static_cast<QLabel*>(label9), static_cast<QLabel*>(bd1)})
        setTextColor(l, Qt::blue);

    // ARGradient1 .. ARGradient7 in order, for the closing sequence.
    m_gradients.clear();
    for (const char* name : {"ARGradient1", "ARGradient2", "ARGradient3", "ARGradient4", "ARGradient5",
                             "ARGradient6", "ARGradient7"})
        if (auto* g = findChild<ARGradient*>(name))
            m_gradients.append(g);
}

} // namespace qvl::ui

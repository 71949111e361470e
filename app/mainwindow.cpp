#include "app/mainwindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolTip>

#include <algorithm>
#include <limits>
#include <vector>

#include "app/appicon.h"
#include "app/captionframe.h"
#include "drawinglist/drawinglistview.h"
#include "drawinglist/listcommands.h"
#include "engine/programfolder.h"
#include "platform/helpviewer.h"
#include "windows/fonts.h"
#include "windows/windowplacer.h"

namespace quorvel::app {

namespace {

constexpr int kClientWidthTwips = 8280;
constexpr int kClientHeightTwips = 7125;

// Position and size in twips within the container, and the keyboard order.
struct Placement {
    const char* name;
    int left;
    int top;
    int width;
    int height;
    int tabIndex;
};

constexpr Placement kLayout[] = {
    {"xpcmdbutton7", 360, 6600, 1215, 375, 0},   {"xpcmdbutton2", 5130, 6600, 1215, 375, 1},
    {"xpcmdbutton3", 6720, 6600, 1215, 375, 2},  {"Command9", 1950, 6600, 1215, 375, 3},
    {"xpcmdbutton4", 3540, 6600, 1215, 375, 4},  {"Frame2", 120, 3960, 4215, 1335, 5},
    {"Text2", 1320, 840, 2535, 270, 6},          {"Text1", 1320, 360, 2535, 270, 7},
    {"Label4", 600, 840, 540, 180, 8},           {"Label3", 480, 405, 720, 180, 9},
    {"Frame3", 120, 5400, 4215, 975, 10},        {"Option1", 480, 480, 975, 255, 11},
    {"Option2", 2280, 480, 1215, 255, 12},       {"Frame4", 4440, 3960, 3735, 2415, 13},
    {"Check2", 240, 480, 1095, 255, 14},         {"Text3", 2400, 952, 1095, 270, 15},
    {"Check1", 240, 960, 1095, 255, 16},         {"Text4", 2400, 1432, 1095, 270, 17},
    {"Check3", 240, 1440, 2055, 255, 18},        {"Text5", 2400, 1912, 1095, 270, 19},
    {"Check4", 240, 1920, 1815, 255, 20},        {"Frame1", 120, 120, 8055, 3735, 21},
    {"List2", 120, 240, 7755, 2760, 22},         {"xpcmdbutton5", 240, 3180, 1215, 375, 23},
    {"xpcmdbutton6", 3480, 3180, 1215, 375, 24}, {"xpcmdbutton1", 1860, 3180, 1215, 375, 25},
    {"xpcmdbutton8", 5100, 3180, 1215, 375, 26}, {"xpcmdbutton9", 6720, 3180, 1215, 375, 27},
};

int toPixels(int twips, float twipsPerPixel) {
    return static_cast<int>(placement::roundHalfEven(twips / static_cast<double>(twipsPerPixel)));
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    QFont font(buttonFontFamily());
    font.setPointSize(9);
    button->setFont(font);
    button->setAutoDefault(false);
    return button;
}

// Qt hands a tooltip request that a control does not answer on to its parent, so the buttons
// inside Frame1 would show the frame's tooltip. Only the controls that have one show one.
class OwnToolTipOnly final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::ToolTip) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->toolTip().isEmpty()) {
                QToolTip::hideText();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

QString buttonFontFamily() {
    return windows::songtiFontFamily();
}

MainWindow::MainWindow(MainWindowServices services, QWidget* parent)
    : QWidget(parent), services_(std::move(services)) {
    setObjectName(QStringLiteral("batchfrm"));
    setWindowTitle(QStringLiteral("Quorvel V2.0"));
    setWindowIcon(programIcon());
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    QFont windowFont(buttonFontFamily());
    windowFont.setPointSize(9);
    setFont(windowFont);
    // Narrow gap between tick marks and captions, so the captions fit their fixed widths.
    setStyleSheet(
        QStringLiteral("* { font-family: \"%1\"; } QCheckBox, QRadioButton { spacing: 2px; }")
            .arg(windowFont.family()));

    buildControls();
    applyLayout();
    connectRules();
    xpcmdbutton7->setFocus();
}

void MainWindow::buildControls() {
    Frame1 = named(new CaptionFrame(QStringLiteral("初始化文件"), this), "Frame1");
    Frame1->setToolTip(QStringLiteral("双击删除单个列表"));
    List2 = named(new drawinglist::DrawingListView(Frame1), "List2");
    List2->setToolTip(QStringLiteral("双击删除单个列表"));
    xpcmdbutton5 = makeButton(Frame1, "xpcmdbutton5", QStringLiteral("  添加文件"));
    xpcmdbutton5->setToolTip(QStringLiteral("支持资源管理器拖放文件！"));
    xpcmdbutton1 = makeButton(Frame1, "xpcmdbutton1", QStringLiteral("  删除选择"));
    xpcmdbutton6 = makeButton(Frame1, "xpcmdbutton6", QStringLiteral("  删除全部"));
    xpcmdbutton8 = makeButton(Frame1, "xpcmdbutton8", QStringLiteral("  保存列表"));
    xpcmdbutton9 = makeButton(Frame1, "xpcmdbutton9", QStringLiteral("  读取列表"));
    auto* ownToolTipOnly = new OwnToolTipOnly(this);
    for (QPushButton* button : {xpcmdbutton1, xpcmdbutton6, xpcmdbutton8, xpcmdbutton9}) {
        button->installEventFilter(ownToolTipOnly);
    }

    Frame2 = named(new CaptionFrame(QStringLiteral("内容"), this), "Frame2");
    Label3 = named(new QLabel(QStringLiteral("查找内容"), Frame2), "Label3");
    Text1 = named(new QLineEdit(Frame2), "Text1");
    Label4 = named(new QLabel(QStringLiteral("替换为"), Frame2), "Label4");
    Text2 = named(new QLineEdit(Frame2), "Text2");
    // No length limit of the program's own (a line edit cuts text at 32767 characters).
    Text1->setMaxLength(std::numeric_limits<int>::max());
    Text2->setMaxLength(std::numeric_limits<int>::max());

    Frame3 = named(new CaptionFrame(QStringLiteral("CAD版本"), this), "Frame3");
    Option1 = named(new QRadioButton(QStringLiteral("For R14"), Frame3), "Option1");
    Option2 = named(new QRadioButton(QStringLiteral("For R2000+"), Frame3), "Option2");
    Option2->setChecked(true);
    // Tab enters the option group at its chosen button; Qt moves this tab stop along with the
    // focus from then on.
    Option1->setFocusPolicy(Qt::ClickFocus);

    Frame4 = named(new CaptionFrame(QStringLiteral("选项"), this), "Frame4");
    Check2 = named(new QCheckBox(QStringLiteral("完全匹配"), Frame4), "Check2");
    Check1 = named(new QCheckBox(QStringLiteral("指定图层"), Frame4), "Check1");
    Text3 = named(new QLineEdit(QStringLiteral("0"), Frame4), "Text3");
    Check3 = named(new QCheckBox(QStringLiteral("修改文本的对齐方式"), Frame4), "Check3");
    Text4 = named(new QLineEdit(QStringLiteral("mc"), Frame4), "Text4");
    Check4 = named(new QCheckBox(QStringLiteral("修改文本的高度"), Frame4), "Check4");
    Text5 = named(new QLineEdit(QStringLiteral("5"), Frame4), "Text5");
    Text3->setEnabled(false);
    Text4->setEnabled(false);
    Text5->setEnabled(false);

    xpcmdbutton7 = makeButton(this, "xpcmdbutton7", QStringLiteral("  替换预览"));
    Command9 = makeButton(this, "Command9", QStringLiteral("  批量替换"));
    xpcmdbutton4 = makeButton(this, "xpcmdbutton4", QStringLiteral("  帮助"));
    xpcmdbutton2 = makeButton(this, "xpcmdbutton2", QStringLiteral("  更多软件"));
    xpcmdbutton3 = makeButton(this, "xpcmdbutton3", QStringLiteral("  退出"));

    for (QWidget* w :
         std::initializer_list<QWidget*>{Frame1, Frame2, Frame3, Frame4, Label3, Label4}) {
        w->setFocusPolicy(Qt::NoFocus);
    }
}

void MainWindow::applyLayout() {
    const placement::ScreenTwips screen = windows::screenTwips(this);
    const float tppX = screen.twipsPerPixelX;
    const float tppY = screen.twipsPerPixelY;
    setFixedSize(toPixels(kClientWidthTwips, tppX), toPixels(kClientHeightTwips, tppY));

    std::vector<std::pair<int, QWidget*>> focusOrder;
    for (const Placement& p : kLayout) {
        auto* widget = findChild<QWidget*>(QString::fromLatin1(p.name));
        Q_ASSERT(widget);
        widget->setGeometry(toPixels(p.left, tppX), toPixels(p.top, tppY), toPixels(p.width, tppX),
                            toPixels(p.height, tppY));
        if (widget->focusPolicy() != Qt::NoFocus) {
            focusOrder.emplace_back(p.tabIndex, widget);
        }
    }
    std::sort(focusOrder.begin(), focusOrder.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (size_t i = 1; i < focusOrder.size(); ++i) {
        setTabOrder(focusOrder[i - 1].second, focusOrder[i].second);
    }
}

void MainWindow::connectRules() {
    connect(Check1, &QCheckBox::clicked, this, [this] { Text3->setEnabled(Check1->isChecked()); });
    connect(Check3, &QCheckBox::clicked, this, [this] { Text4->setEnabled(Check3->isChecked()); });
    connect(Check4, &QCheckBox::clicked, this, [this] { Text5->setEnabled(Check4->isChecked()); });
    // Choosing the older generation greys the justification option but keeps its tick and
    // leaves its text field as it is.
    connect(Option1, &QRadioButton::clicked, this, [this] { Check3->setEnabled(false); });
    connect(Option2, &QRadioButton::clicked, this, [this] { Check3->setEnabled(true); });

    connect(xpcmdbutton4, &QPushButton::clicked, this, &MainWindow::openHelp);

    listCommands_ = new drawinglist::DrawingListCommands(List2, services_.fileDialogs,
                                                         services_.messageBoxes, this);
    connect(xpcmdbutton5, &QPushButton::clicked, listCommands_,
            &drawinglist::DrawingListCommands::addFiles);
    connect(xpcmdbutton1, &QPushButton::clicked, listCommands_,
            &drawinglist::DrawingListCommands::removeSelected);
    connect(xpcmdbutton6, &QPushButton::clicked, listCommands_,
            &drawinglist::DrawingListCommands::removeAll);
    connect(xpcmdbutton8, &QPushButton::clicked, listCommands_,
            &drawinglist::DrawingListCommands::saveList);
    connect(xpcmdbutton9, &QPushButton::clicked, listCommands_,
            &drawinglist::DrawingListCommands::readList);
    // Exit ends the program at once: no close handling, every window goes with it.
    connect(xpcmdbutton3, &QPushButton::clicked, this, [] { QCoreApplication::exit(0); });
}

QString MainWindow::helpFilePath() const {
    const std::u16string path =
        engine::fileInProgramFolder(services_.programFolder.toStdU16String(), u"Quorvel.chm");
    return QString::fromStdU16String(path);
}

void MainWindow::openHelp() {
    if (services_.helpViewer) {
        services_.helpViewer->showHelp(this, helpFilePath());
    }
}

namespace {

int tickValue(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return 1;
        case Qt::PartiallyChecked:
            return 2;
        case Qt::Unchecked:
            break;
    }
    return 0;
}

}  // namespace

std::u16string MainWindow::searchText() const {
    return Text1->text().toStdU16String();
}
std::u16string MainWindow::replacementText() const {
    return Text2->text().toStdU16String();
}
std::u16string MainWindow::layerName() const {
    return Text3->text().toStdU16String();
}
std::u16string MainWindow::justificationCode() const {
    return Text4->text().toStdU16String();
}
std::u16string MainWindow::heightText() const {
    return Text5->text().toStdU16String();
}
int MainWindow::layerTick() const {
    return tickValue(Check1);
}
int MainWindow::exactMatchTick() const {
    return tickValue(Check2);
}
int MainWindow::justificationTick() const {
    return tickValue(Check3);
}
int MainWindow::heightTick() const {
    return tickValue(Check4);
}
bool MainWindow::newerGeneration() const {
    return Option2->isChecked();
}

void MainWindow::hideMainWindow() {
    hide();
}

void MainWindow::showAgain() {
    show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closed by the window system: the program ends, taking its side windows with it.
    event->accept();
    QCoreApplication::quit();
}

}  // namespace quorvel::app

#include "cadhost/host/hostwindow.h"

#include "cadhost/host/commandinterpreter.h"
#include "cadhost/host/drawingview.h"
#include "cadhost/host/hosterror.h"
#include "cadhost/host/hostmodel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QVBoxLayout>

namespace quorvel::cadhost {
namespace {

const QString kDrawingFilter = QStringLiteral("图形文件 (*.dwg *.dxf *.dwt);;所有文件 (*)");

// Redraws follow edits from the bus at most this often, so a batch run is not slowed down by
// painting after every call.
constexpr int kRefreshDelayMs = 150;

enum class SaveChoice { Save, Discard, Cancel };

SaveChoice askToSave(QWidget* parent, const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QPushButton* save = box.addButton(QStringLiteral("保存(&S)"), QMessageBox::AcceptRole);
    QPushButton* discard =
        box.addButton(QStringLiteral("不保存(&N)"), QMessageBox::DestructiveRole);
    box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.exec();
    if (box.clickedButton() == save) {
        return SaveChoice::Save;
    }
    return box.clickedButton() == discard ? SaveChoice::Discard : SaveChoice::Cancel;
}

}  // namespace

template <typename Dialog>
auto HostWindow::whileBusy(Dialog dialog) {
    if (server_ != nullptr) {
        server_->setBusy(true);
    }
    struct Release {
        BusServer* server;
        ~Release() {
            if (server != nullptr) {
                server->setBusy(false);
            }
        }
    } release{server_};
    return dialog();
}

HostWindow::HostWindow(HostModel& model, CommandInterpreter& interpreter, QWidget* parent)
    : QMainWindow(parent), model_(model), interpreter_(interpreter) {
    setObjectName(QStringLiteral("HostWindow"));
    resize(1100, 760);
    buildPanes();
    buildStatusBar();
    buildMenus();
    setUpRefresh();
    followModel();
    followTabs();
    followCommandLine();
    rebuildTabs();
    showActiveDocument();
    updatePrompt();
}

// Tabs over the drawing view, the command history and the command line below.
void HostWindow::buildPanes() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    tabs_ = new QTabBar(central);
    tabs_->setObjectName(QStringLiteral("DrawingTabs"));
    tabs_->setTabsClosable(true);
    tabs_->setExpanding(false);
    tabs_->setDocumentMode(true);
    layout->addWidget(tabs_);

    view_ = new DrawingView(central);
    view_->setObjectName(QStringLiteral("DrawingView"));
    layout->addWidget(view_, 1);

    history_ = new QPlainTextEdit(central);
    history_->setObjectName(QStringLiteral("CommandHistory"));
    history_->setReadOnly(true);
    history_->setMaximumBlockCount(2000);
    history_->setFixedHeight(history_->fontMetrics().lineSpacing() * 5 + 10);
    layout->addWidget(history_);

    auto* commandRow = new QHBoxLayout();
    commandRow->setContentsMargins(4, 2, 4, 2);
    prompt_ = new QLabel(central);
    prompt_->setObjectName(QStringLiteral("CommandPrompt"));
    commandLine_ = new QLineEdit(central);
    commandLine_->setObjectName(QStringLiteral("CommandLine"));
    commandLine_->installEventFilter(this);
    commandRow->addWidget(prompt_);
    commandRow->addWidget(commandLine_, 1);
    layout->addLayout(commandRow);
    setCentralWidget(central);
}

void HostWindow::buildStatusBar() {
    filediaLabel_ = new QLabel(this);
    cursorLabel_ = new QLabel(this);
    statusBar()->addWidget(cursorLabel_, 1);
    statusBar()->addPermanentWidget(new QLabel(model_.release() == Release::R14
                                                   ? QStringLiteral("版本 R14")
                                                   : QStringLiteral("版本 R2000"),
                                               this));
    statusBar()->addPermanentWidget(filediaLabel_);
    connect(view_, &DrawingView::cursorMoved, this, [this](QPointF at) {
        cursorLabel_->setText(
            QStringLiteral("%1, %2").arg(at.x(), 0, 'f', 4).arg(at.y(), 0, 'f', 4));
    });
}

void HostWindow::setUpRefresh() {
    refreshTimer_.setSingleShot(true);
    refreshTimer_.setInterval(kRefreshDelayMs);
    connect(&refreshTimer_, &QTimer::timeout, this, [this] {
        QElapsedTimer spent;
        spent.start();
        updateTabTexts();
        view_->refresh();
        view_->repaint();
        // A big drawing takes long to draw: wait longer before the next redraw, so that a run
        // through the bus, whose calls wait while the view is drawn, keeps 95% of the time.
        refreshTimer_.setInterval(
            std::max<int>(kRefreshDelayMs, static_cast<int>(spent.elapsed()) * 20));
    });
}

void HostWindow::followModel() {
    connect(&model_, &HostModel::documentsChanged, this, &HostWindow::rebuildTabs);
    connect(&model_, &HostModel::activeDocumentChanged, this, &HostWindow::showActiveDocument);
    connect(&model_, &HostModel::documentChanged, this, [this](int number) {
        const HostDocument* active = model_.active();
        if (active != nullptr && active->number == number &&
            (shownDrawing_ != &active->drawing || shownLoad_ != active->load)) {
            showActiveDocument();  // the same document with new content
        }
        if (!refreshTimer_.isActive()) {
            refreshTimer_.start();
        }
    });
    connect(&model_, &HostModel::filediaChanged, this, [this](int value) {
        filediaLabel_->setText(QStringLiteral("FILEDIA = %1").arg(value));
    });
    filediaLabel_->setText(QStringLiteral("FILEDIA = %1").arg(model_.filedia()));
}

void HostWindow::followTabs() {
    connect(tabs_, &QTabBar::currentChanged, this, [this](int index) {
        if (rebuildingTabs_ || index < 0) {
            return;
        }
        const int number = tabs_->tabData(index).toInt();
        if (model_.find(number) != nullptr) {
            model_.setActive(number);
        }
    });
    connect(tabs_, &QTabBar::tabCloseRequested, this,
            [this](int index) { closeDocument(tabs_->tabData(index).toInt()); });
}

void HostWindow::followCommandLine() {
    connect(&interpreter_, &CommandInterpreter::lineEchoed, this, &HostWindow::appendHistory);
    connect(&model_, &HostModel::notice, this, &HostWindow::appendHistory);
    connect(&interpreter_, &CommandInterpreter::promptChanged, this, &HostWindow::updatePrompt);
    connect(&interpreter_, &CommandInterpreter::pendingInputChanged, this,
            &HostWindow::updatePrompt);
    interpreter_.askSavePath = [this](const QString& name) -> std::optional<QString> {
        if (!isVisible()) {
            return std::nullopt;  // no dialog from a hidden host: the command line asks
        }
        return askSavePath(name);
    };

    connect(commandLine_, &QLineEdit::returnPressed, this, [this] {
        const QString text = commandLine_->text();
        commandLine_->clear();
        interpreter_.type(text + u'\r');
    });
}

void HostWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    file->addAction(QStringLiteral("新建(&N)"), QKeySequence::New, this, &HostWindow::newDrawing);
    file->addAction(QStringLiteral("打开(&O)..."), QKeySequence::Open, this,
                    &HostWindow::openDrawings);
    file->addAction(QStringLiteral("保存(&S)"), QKeySequence::Save, this, [this] {
        if (const HostDocument* active = model_.active()) {
            saveDocument(active->number, false);
        }
    });
    file->addAction(QStringLiteral("另存为(&A)..."), QKeySequence::SaveAs, this, [this] {
        if (const HostDocument* active = model_.active()) {
            saveDocument(active->number, true);
        }
    });
    file->addAction(QStringLiteral("关闭(&C)"), QKeySequence::Close, this, [this] {
        if (const HostDocument* active = model_.active()) {
            closeDocument(active->number);
        }
    });
    file->addSeparator();
    file->addAction(QStringLiteral("退出(&X)"), QKeySequence::Quit, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(QStringLiteral("视图(&V)"));
    view->addAction(QStringLiteral("范围缩放(&E)"), QKeySequence(Qt::CTRL | Qt::Key_E), view_,
                    &DrawingView::zoomExtents);
    QAction* paper = view->addAction(QStringLiteral("图纸空间(&P)"));
    paper->setCheckable(true);
    connect(paper, &QAction::toggled, view_, &DrawingView::setPaperSpace);
}

void HostWindow::setHostWindowVisible(bool visible) {
    if (visible) {
        show();
    } else {
        hide();
    }
}

void HostWindow::activateHostWindow() {
    if (isMinimized()) {
        setWindowState(windowState() & ~Qt::WindowMinimized);
    }
    show();
    raise();
    activateWindow();
    commandLine_->setFocus();
}

void HostWindow::rebuildTabs() {
    rebuildingTabs_ = true;
    while (tabs_->count() > 0) {
        tabs_->removeTab(0);
    }
    for (const auto& document : model_.documents()) {
        const int index = tabs_->addTab(QString());
        tabs_->setTabData(index, document->number);
    }
    rebuildingTabs_ = false;
    updateTabTexts();
    showActiveDocument();
}

void HostWindow::updateTabTexts() {
    for (int i = 0; i < tabs_->count(); ++i) {
        const HostDocument* document = model_.find(tabs_->tabData(i).toInt());
        if (document == nullptr) {
            continue;
        }
        const QString name = QString::fromStdString(document->name());
        tabs_->setTabText(i, document->isSaved() ? name : name + u'*');
        tabs_->setTabToolTip(i, fileOrName(*document));
    }
}

void HostWindow::showActiveDocument() {
    setWindowTitle(model_.caption());
    const HostDocument* active = model_.active();
    rebuildingTabs_ = true;
    for (int i = 0; i < tabs_->count(); ++i) {
        if (active != nullptr && tabs_->tabData(i).toInt() == active->number) {
            tabs_->setCurrentIndex(i);
        }
    }
    rebuildingTabs_ = false;
    const dxf::Drawing* drawing = active != nullptr ? &active->drawing : nullptr;
    const int load = active != nullptr ? active->load : 0;
    if (drawing != shownDrawing_ || load != shownLoad_) {
        shownDrawing_ = drawing;
        shownLoad_ = load;
        view_->setDrawing(drawing);
    }
}

void HostWindow::appendHistory(const QString& line) {
    history_->appendPlainText(line);
}

void HostWindow::updatePrompt() {
    // Only the end of a long input: laying out all of it would cost more than typing it.
    constexpr qsizetype kShownInput = 200;
    const QString input = interpreter_.pendingInput();
    const QString shown = input.size() > kShownInput ? u'…' + input.right(kShownInput) : input;
    prompt_->setText(interpreter_.prompt() + u' ' + shown);
}

bool HostWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == commandLine_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape) {
            commandLine_->clear();
            interpreter_.cancel();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void HostWindow::newDrawing() {
    try {
        model_.addFromTemplate(QString());
    } catch (const core::HostError& error) {
        whileBusy([&] { return QMessageBox::critical(this, windowTitle(), errorMessage(error)); });
    }
}

void HostWindow::openDrawings() {
    const QStringList files = whileBusy([this] {
        return QFileDialog::getOpenFileNames(this, QStringLiteral("打开图形"), QString(),
                                             kDrawingFilter);
    });
    for (const QString& file : files) {
        try {
            model_.openNew(file);
        } catch (const core::HostError& error) {
            whileBusy(
                [&] { return QMessageBox::critical(this, windowTitle(), errorMessage(error)); });
        }
    }
}

QString HostWindow::askSavePath(const QString& suggestedName) {
    return whileBusy([&] {
        return QFileDialog::getSaveFileName(this, QStringLiteral("图形另存为"), suggestedName,
                                            kDrawingFilter);
    });
}

bool HostWindow::saveDocument(int number, bool askForName) {
    HostDocument* document = model_.find(number);
    if (document == nullptr) {
        return false;
    }
    QString path = fromFsPath(document->filePath);
    if (askForName || document->isUntitled()) {
        path = askSavePath(fileOrName(*document));
        if (path.isEmpty() || model_.find(number) == nullptr) {
            return false;
        }
    }
    try {
        model_.saveAs(number, path);
        appendHistory(QString::fromStdString(core::savedLine(toFsPath(path))));
        return true;
    } catch (const core::HostError& error) {
        whileBusy([&] { return QMessageBox::critical(this, windowTitle(), errorMessage(error)); });
        return false;
    }
}

void HostWindow::closeDocument(int number) {
    HostDocument* document = model_.find(number);
    if (document == nullptr) {
        return;
    }
    if (!document->isSaved()) {
        const QString name = QString::fromStdString(document->name());
        const SaveChoice choice = whileBusy([&] {
            return askToSave(this, windowTitle(),
                             QStringLiteral("是否保存对“%1”的修改？").arg(name));
        });
        if (choice == SaveChoice::Cancel) {
            return;
        }
        if (choice == SaveChoice::Save && !saveDocument(number, false)) {
            return;
        }
    }
    if (model_.find(number) != nullptr) {
        model_.close(number, false);
    }
}

void HostWindow::closeEvent(QCloseEvent* event) {
    QStringList unsaved;
    for (const auto& document : model_.documents()) {
        if (!document->isSaved()) {
            unsaved.append(QString::fromStdString(document->name()));
        }
    }
    if (!unsaved.isEmpty()) {
        const SaveChoice choice = whileBusy([&] {
            return askToSave(this, windowTitle(),
                             QStringLiteral("以下图形尚未保存：\n%1\n\n退出前是否保存？")
                                 .arg(unsaved.join(u'\n')));
        });
        if (choice == SaveChoice::Cancel) {
            event->ignore();
            return;
        }
        if (choice == SaveChoice::Save) {
            std::vector<int> numbers;
            for (const auto& document : model_.documents()) {
                if (!document->isSaved()) {
                    numbers.push_back(document->number);
                }
            }
            for (const int number : numbers) {
                if (!saveDocument(number, false)) {
                    event->ignore();
                    return;
                }
            }
        }
    }
    event->accept();
    QApplication::quit();
}

}  // namespace quorvel::cadhost

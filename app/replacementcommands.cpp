#include "app/replacementcommands.h"

#include <QPushButton>

#include "app/mainwindow.h"
#include "drawinglist/drawinglistmodel.h"
#include "drawinglist/drawinglistview.h"

namespace quorvel::app {

int DrawingListQueue::count() const {
    return model_.count();
}

std::u16string DrawingListQueue::text(int index) const {
    return model_.textAt(index).toStdU16String();
}

void DrawingListQueue::removeAt(int index) {
    model_.removeAt(index);
}

void DrawingListQueue::removeAll() {
    model_.removeAll();
}

ProgressWindowBridge::ProgressWindowBridge(std::function<void()> showMainWindow)
    : showMainWindow_(std::move(showMainWindow)) {}

ProgressWindowBridge::~ProgressWindowBridge() {
    delete form_.data();
}

windows::Form3& ProgressWindowBridge::loaded() {
    if (!form_) {
        form_ = new windows::Form3(showMainWindow_);
    }
    return *form_;
}

void ProgressWindowBridge::show() {
    windows::Form3& form = loaded();
    form.setRunGoingOn(true);
    form.showForRun();
}

void ProgressWindowBridge::setLabel1(const std::u16string& text) {
    windows::Form3::setLabelText(loaded().Label1, QString::fromStdU16String(text));
}

void ProgressWindowBridge::setLabel3(const std::u16string& text) {
    windows::Form3::setLabelText(loaded().Label3, QString::fromStdU16String(text));
}

void ProgressWindowBridge::setLabel5(const std::u16string& text) {
    windows::Form3::setLabelText(loaded().Label5, QString::fromStdU16String(text));
}

void ProgressWindowBridge::repaintNow() {
    if (form_ && form_->isVisible()) {
        form_->repaint();
    }
}

void ProgressWindowBridge::runEnded() {
    if (form_) {
        form_->setRunGoingOn(false);
    }
}

namespace {

engine::RunServices runServices(MainWindow& window, const ReplacementPlatform& platform,
                                engine::Module1& module1, engine::Messages& messages,
                                engine::DrawingList& queue, engine::ProgressWindow& progress) {
    engine::RunServices services;
    services.module1 = &module1;
    services.windows = platform.windows;
    services.options = &window;
    services.drawings = &queue;
    services.progress = &progress;
    services.mainWindow = &window;
    services.messages = &messages;
    services.clock = platform.clock;
    services.random = platform.random;
    services.scriptWriter = platform.scriptWriter;
    services.files = platform.files;
    services.runLock = platform.runLock;
    services.programFolder = platform.programFolder.toStdU16String();
    return services;
}

}  // namespace

ReplacementCommands::ReplacementCommands(MainWindow& window, ReplacementPlatform platform,
                                         QObject* parent)
    : QObject(parent),
      window_(window),
      messages_(*platform.messageBoxes, [this] { return messageOwner(); }),
      module1_(*platform.connector, messages_),
      queue_(*window.List2->drawings()),
      progress_([&window] { window.showAgain(); }),
      run_(runServices(window, platform, module1_, messages_, queue_, progress_)) {
    connect(window.Command9, &QPushButton::clicked, this, &ReplacementCommands::runBatch);
    connect(window.xpcmdbutton7, &QPushButton::clicked, this, &ReplacementCommands::runPreview);
}

QWidget* ReplacementCommands::messageOwner() const {
    // A box owned by a hidden window would be hidden too, and one without an owner could end
    // up behind the topmost progress window.
    if (window_.isVisible()) {
        return &window_;
    }
    windows::Form3* form = progress_.form();
    return form && form->isVisible() ? form : nullptr;
}

void ReplacementCommands::runBatch() {
    run_.runBatch();
}

void ReplacementCommands::runPreview() {
    run_.runPreview();
}

}  // namespace quorvel::app

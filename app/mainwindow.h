#pragma once
#include <QWidget>

#include "engine/services.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quorvel::platform {
class FileDialogs;
class HelpViewer;
class MessageBoxes;
}  // namespace quorvel::platform

namespace quorvel::drawinglist {
class DrawingListView;
class DrawingListCommands;
}  // namespace quorvel::drawinglist

namespace quorvel::app {

// What the main window needs from the outside world.
struct MainWindowServices {
    platform::HelpViewer* helpViewer = nullptr;
    platform::FileDialogs* fileDialogs = nullptr;
    platform::MessageBoxes* messageBoxes = nullptr;
    QString programFolder;  // folder of the executable
};

// The main window "batchfrm": the drawing list, the search and replacement texts, the options
// and the ten command buttons. Every control carries its layout name as objectName.
// The replacement runs read the options from the controls at the moment they need them.
class MainWindow : public QWidget,
                   public engine::ReplaceOptions,
                   public engine::MainWindowVisibility {
    Q_OBJECT
public:
    explicit MainWindow(MainWindowServices services, QWidget* parent = nullptr);

    // The help file in the program's folder, computed anew at every use.
    QString helpFilePath() const;

    // Shown again after a batch run, with the controls as the run left them.
    void showAgain();

    // The option controls as the replacement runs read them; a tick box's value is 0 (clear),
    // 1 (ticked) or 2 (greyed).
    std::u16string searchText() const override;
    std::u16string replacementText() const override;
    std::u16string layerName() const override;
    std::u16string justificationCode() const override;
    std::u16string heightText() const override;
    int layerTick() const override;
    int exactMatchTick() const override;
    int justificationTick() const override;
    int heightTick() const override;
    bool newerGeneration() const override;
    void hideMainWindow() override;

    drawinglist::DrawingListView* List2 = nullptr;
    QLineEdit* Text1 = nullptr;
    QLineEdit* Text2 = nullptr;
    QLineEdit* Text3 = nullptr;
    QLineEdit* Text4 = nullptr;
    QLineEdit* Text5 = nullptr;
    QCheckBox* Check1 = nullptr;
    QCheckBox* Check2 = nullptr;
    QCheckBox* Check3 = nullptr;
    QCheckBox* Check4 = nullptr;
    QRadioButton* Option1 = nullptr;
    QRadioButton* Option2 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    QGroupBox* Frame4 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label4 = nullptr;
    QPushButton* xpcmdbutton1 = nullptr;  // "  删除选择"
    QPushButton* xpcmdbutton2 = nullptr;  // "  更多软件"
    QPushButton* xpcmdbutton3 = nullptr;  // "  退出"
    QPushButton* xpcmdbutton4 = nullptr;  // "  帮助"
    QPushButton* xpcmdbutton5 = nullptr;  // "  添加文件"
    QPushButton* xpcmdbutton6 = nullptr;  // "  删除全部"
    QPushButton* xpcmdbutton7 = nullptr;  // "  替换预览"
    QPushButton* xpcmdbutton8 = nullptr;  // "  保存列表"
    QPushButton* xpcmdbutton9 = nullptr;  // "  读取列表"
    QPushButton* Command9 = nullptr;      // "  批量替换"

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void applyLayout();
    void connectRules();
    void openHelp();

    MainWindowServices services_;
    drawinglist::DrawingListCommands* listCommands_ = nullptr;
};

// The CJK font used for the buttons: "宋体" where installed, else a CJK serif or sans font.
QString buttonFontFamily();

}  // namespace quorvel::app

#pragma once

#include "app/app_window.h"
#include "app/controller.h"
#include "app/file_dialogs.h"
#include "app/live_board.h"
#include "app/window_arguments.h"
#include "choice_menus.h"
#include "clipboard_files.h"
#include "command_menus.h"
#include "output/serial/link_connection.h"
#include "output/serial/port_directory.h"
#include "output/serial/port_worker.h"
#include "qt_file_dialog_backend.h"

#include <QMainWindow>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QAction;
class QFileSystemWatcher;
class QLabel;
class QProgressBar;
class QPushButton;
class QScrollBar;

namespace pixelcast {

class PictureView;
class PortList;
class PanelMenuItems;

// The program's only window. It shows the state and forwards the user's events to the
// controller; each control's object name is its member's name without the prefix
// (m_sendButton is "sendButton"). The controls sit on the form, the central widget of a fixed
// client size between the menu bar and the status bar. Positions are laid out in twips and
// converted at the screen's logical density; the two visible views are sized in pixels by the
// controller at start. A menu command runs its button's handler and is enabled with it.
class MainWindow : public QMainWindow, public AppWindow, public LiveBoardWindow {
    Q_OBJECT

public:
    static constexpr int kClientWidthTwips = 5364;
    static constexpr int kClientHeightTwips = 7392;

    // `dotsPerInch` overrides the screen's logical density, `ports` the devices behind the
    // port numbers and `boardPorts` those the live link looks at (tests use them).
    explicit MainWindow(std::optional<double> dotsPerInch = std::nullopt,
                        std::unique_ptr<PortDirectory> ports = systemPortDirectory(),
                        std::unique_ptr<PortDirectory> boardPorts = systemPortDirectory());
    ~MainWindow() override;

    // Runs the start-up command, then centres the window on its screen and shows it.
    void start();
    // The command line's way to start: its picture options over the remembered ones, the
    // start-up command, then its picture loaded as "Load Image" loads a chosen one.
    void startWith(const WindowArguments& arguments);

    // Takes the folder of the last picture and the picture options from the user's settings.
    // Choices in the Picture menu and each loaded picture's folder are saved there.
    void restoreSettings();

    // Loads a picture named without the dialog (the command line, a drop).
    void openPicture(const QString& fileName);

    // The Picture menu's options, and setting them (menu and controller) without saving.
    [[nodiscard]] RenderOptions menuRenderOptions() const;
    void setRenderOptions(const RenderOptions& options);
    // The Display menu's size and layout, and setting them (menu and controller) without
    // saving. A size the menu does not list is added to it.
    [[nodiscard]] DisplayFormat menuDisplayFormat() const;
    void setDisplayFormat(const DisplayFormat& display);

    [[nodiscard]] Controller& controller() { return m_controller; }
    [[nodiscard]] double dotsPerInch() const { return m_dotsPerInch; }
    [[nodiscard]] const PortWorker& serialPort() const { return m_serialPort; }
    [[nodiscard]] const LinkConnection& boardLink() const { return m_boardLink; }

    // AppWindow
    void setViewSize(View view, int width, int height) override;
    void refreshView(View view) override;
    [[nodiscard]] int levelValue() const override;
    [[nodiscard]] int levelMaximum() const override;
    void setLevelMaximum(int maximum) override;
    void setLevelValue(int value) override;
    void setLevelText(const QString& text) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setCommandEnabled(Command command, bool enabled) override;
    void showPlaying(bool playing) override;
    [[nodiscard]] int selectedPortIndex() const override;
    void showMessage(const QString& text) override;
    void showStatus(const QString& text) override;
    void showFrameStatus(const QString& text) override;
    void showSendProgress(int sent, int total) override;
    void showPictureFile(const QString& fileName) override;
    void copyText(const QString& text) override;
    void copyPicture(const QByteArray& png) override;
    [[nodiscard]] QString pastedPictureFile() override;
    void processPendingEvents() override;
    void endProgram() override;

    // LiveBoardWindow
    void showLive(bool live) override;
    void useDisplaySize(DisplaySize size) override;

signals:
    // "Exit" has run: the window is closed and the program should end now.
    void programEnded();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void connectControls();
    void createMenus();
    // Every menu and item of the menu bar, each with what it runs and what enables it.
    [[nodiscard]] std::vector<MenuSpec> menuTable();
    void createStatusBar();
    // Shows the status bar's animation line while it has something to show, and fits the
    // window to it when it or the progress in it (`changed`) came or went.
    void showAnimationLine(bool changed);
    void showAbout();
    void showUserGuide();
    // "Set level…": a level typed into a small dialog goes to the scroll bar.
    void askLevel();
    // The watched picture changed and has settled: it loads again once no dialog is open.
    void reloadChangedPicture();
    [[nodiscard]] QRect place(int left, int top, int width, int height) const;
    [[nodiscard]] PictureView* view(View which) const;
    [[nodiscard]] QPushButton* button(Button which) const;

    double m_dotsPerInch = 96.0;
    QtFileDialogBackend m_dialogBackend{this};
    FileDialogs m_fileDialogs{m_dialogBackend, [this](const QString& text) {
                                  showMessage(text);
                              }};
    // Lives as long as the window, on a thread of its own: destroying it closes the port once
    // the bytes sent have gone out, also when the window is closed by its title bar, and
    // waits no longer than the port's stall timeout for that.
    PortWorker m_serialPort;
    Controller m_controller{*this, m_fileDialogs, m_serialPort};
    // The live link on a thread of its own; destroying it closes its port at once, and the
    // board keeps showing its last frame.
    LinkConnection m_boardLink;
    LiveBoard m_liveBoard{*this, *this, m_controller, m_serialPort, m_boardLink};

    QWidget* m_form = nullptr;
    PictureView* m_resultView = nullptr;
    PictureView* m_scaledView = nullptr;
    PictureView* m_sourceView = nullptr;
    QPushButton* m_loadImageButton = nullptr;
    QLabel* m_levelCaption = nullptr;
    QScrollBar* m_levelBar = nullptr;
    QLabel* m_levelFigure = nullptr;
    QPushButton* m_createArrayButton = nullptr;
    QPushButton* m_writeFileButton = nullptr;
    PortList* m_portList = nullptr;
    QPushButton* m_configurePortButton = nullptr;
    QPushButton* m_sendButton = nullptr;
    QPushButton* m_exitButton = nullptr;
    QLabel* m_hint = nullptr;
    QLabel* m_statusLine = nullptr;
    QWidget* m_animationLine = nullptr;
    QLabel* m_frameLine = nullptr;
    QProgressBar* m_sendProgress = nullptr;
    QPushButton* m_cancelSendButton = nullptr;

    std::map<View, PictureView*> m_views;
    std::map<Button, QPushButton*> m_buttons;
    CommandMenus m_menus;
    QAction* m_liveAction = nullptr;
    ChoiceMenus* m_choices = nullptr;
    PanelMenuItems* m_panelItems = nullptr;
    bool m_savesSettings = false;

    // The picture shown is watched, and its folder, for an editor that replaces the file;
    // a change reloads it once the file has been left alone for a moment.
    QFileSystemWatcher* m_watcher = nullptr;
    QString m_watchedFile;
    QTimer m_reloadTimer;
    // Pasted image data, removed with the window.
    PastedPictures m_pastedPictures;
};

} // namespace pixelcast

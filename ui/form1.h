#pragma once

#include "app/app_window.h"
#include "app/common_dialog.h"
#include "app/controller.h"
#include "output/port_directory.h"
#include "output/serial_port.h"
#include "qt_file_dialog_backend.h"

#include <QWidget>

#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class QScrollBar;

namespace pixelcast {

class PictureView;
class PortList;

// The program's only window. It shows the state and forwards the user's events to the
// controller; the controls keep their historic names (Picture1, Command1, ...) as object
// names. Positions are laid out in twips and converted at the screen's logical density;
// the two visible views are sized in pixels by the controller at start.
class Form1 : public QWidget, public AppWindow {
    Q_OBJECT

public:
    static constexpr int kClientWidthTwips = 5364;
    static constexpr int kClientHeightTwips = 7392;

    // `dotsPerInch` overrides the screen's logical density and `ports` the devices behind
    // the port numbers (tests use both).
    explicit Form1(std::optional<double> dotsPerInch = std::nullopt,
                   std::unique_ptr<PortDirectory> ports = systemPortDirectory());
    ~Form1() override;

    // Runs the start-up command, then centres the window on its screen and shows it.
    void start();

    [[nodiscard]] Controller& controller() { return m_controller; }
    [[nodiscard]] double dotsPerInch() const { return m_dotsPerInch; }
    [[nodiscard]] const SerialPort& serialPort() const { return m_serialPort; }

    // AppWindow
    void setViewSize(View view, int width, int height) override;
    void refreshView(View view) override;
    [[nodiscard]] int levelValue() const override;
    [[nodiscard]] int levelMaximum() const override;
    void setLevelMaximum(int maximum) override;
    void setLevelValue(int value) override;
    void setLevelText(const QString& text) override;
    void setButtonEnabled(Button button, bool enabled) override;
    [[nodiscard]] int selectedPortIndex() const override;
    void showMessage(const QString& text) override;
    void processPendingEvents() override;
    void endProgram() override;

signals:
    // "Exit" has run: the window is closed and the program should end now.
    void programEnded();

private:
    void createControls();
    void connectControls();
    [[nodiscard]] QRect place(int left, int top, int width, int height) const;
    [[nodiscard]] PictureView* view(View which) const;
    [[nodiscard]] QPushButton* button(Button which) const;

    double m_dotsPerInch = 96.0;
    QtFileDialogBackend m_dialogBackend{this};
    CommonDialog m_commonDialog{m_dialogBackend, [this](const QString& text) {
                                    showMessage(text);
                                }};
    // Lives as long as the window: destroying it waits for the bytes sent to go out and
    // closes the port, also when the window is closed by its title bar.
    SerialPort m_serialPort;
    Controller m_controller{*this, m_commonDialog, m_serialPort};

    PictureView* m_picture1 = nullptr;
    PictureView* m_picture2 = nullptr;
    PictureView* m_picture3 = nullptr;
    QPushButton* m_command1 = nullptr;
    QLabel* m_label1 = nullptr;
    QScrollBar* m_hScroll1 = nullptr;
    QLabel* m_label2 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    PortList* m_combo1 = nullptr;
    QPushButton* m_command4 = nullptr;
    QPushButton* m_command5 = nullptr;
    QPushButton* m_command6 = nullptr;
    QLabel* m_label3 = nullptr;
};

} // namespace pixelcast

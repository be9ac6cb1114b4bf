#include "main_window.h"

#include "caption_button.h"
#include "picture_view.h"
#include "port_list.h"
#include "twips.h"

#include <QApplication>
#include <QIcon>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>

namespace pixelcast {

namespace {

const QString kAppTitle = QStringLiteral("Pixelcast");

[[nodiscard]] double screenDotsPerInch()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
}

} // namespace

MainWindow::MainWindow(std::optional<double> dotsPerInch, std::unique_ptr<PortDirectory> ports)
    : QWidget(nullptr), m_dotsPerInch(dotsPerInch.value_or(screenDotsPerInch())),
      m_serialPort(std::move(ports))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(kAppTitle);
    setWindowIcon(QIcon(QStringLiteral(":/pixelcast/pixelcast.png")));
    // "Times New Roman" comes from fontconfig's metric-compatible Liberation Serif on
    // systems without it; the text is Unicode, so no character set is chosen.
    QFont font(QStringLiteral("Times New Roman"), 12, QFont::Bold);
    setFont(font);
    resize(twipsToPixels(kClientWidthTwips, m_dotsPerInch),
           twipsToPixels(kClientHeightTwips, m_dotsPerInch));

    createControls();
    connectControls();
}

MainWindow::~MainWindow() = default;

QRect MainWindow::place(int left, int top, int width, int height) const
{
    return twipsRect(left, top, width, height, m_dotsPerInch);
}

void MainWindow::createControls()
{
    const AppState& state = m_controller.state();
    auto makeView = [this](const char* name, const Surface& surface, QRect where) {
        auto* view = new PictureView(this);
        view->setObjectName(QString::fromLatin1(name));
        view->setGeometry(where);
        view->setSurface(&surface);
        return view;
    };
    auto makeButton = [this](const char* name, const QString& caption, QRect where) {
        auto* button = new CaptionButton(caption, this);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(where);
        return button;
    };
    auto makeLabel = [this](const char* name, const QString& text, QRect where) {
        auto* label = new QLabel(text, this);
        label->setObjectName(QString::fromLatin1(name));
        label->setGeometry(where);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    };

    // Created in tab order.
    m_resultView = makeView("resultView", state.result, place(240, 1200, 1572, 852));
    m_scaledView = makeView("scaledView", state.scaled, place(2760, 1200, 1572, 852));
    m_sourceView = makeView("sourceView", state.source, place(3960, 120, 1092, 732));
    m_sourceView->hide();
    m_loadImageButton =
        makeButton("loadImageButton", QStringLiteral("Load Image"), place(1920, 3600, 1572, 492));
    m_levelCaption = makeLabel("levelCaption", QStringLiteral("Conversion level :"),
                               place(960, 2400, 1932, 372));

    m_levelBar = new QScrollBar(Qt::Horizontal, this);
    m_levelBar->setObjectName(QStringLiteral("levelBar"));
    m_levelBar->setGeometry(place(960, 3000, 3492, 252));
    m_levelBar->setMinimum(0);
    m_levelBar->setSingleStep(1);
    m_levelBar->setPageStep(1);
    m_levelBar->setFocusPolicy(Qt::StrongFocus);

    m_levelFigure = makeLabel("levelFigure", QString(), place(3240, 2400, 852, 372));
    m_createArrayButton = makeButton("createArrayButton", QStringLiteral("Create array"),
                                     place(720, 4440, 1692, 732));
    m_writeFileButton = makeButton("writeFileButton", QStringLiteral("Write array to file"),
                                   place(3000, 4440, 1812, 732));
    m_writeFileButton->setEnabled(false);

    m_portList = new PortList(this);
    m_portList->setObjectName(QStringLiteral("portList"));
    m_portList->setGeometry(place(240, 240, 1692, 372));
    m_portList->addItems({QStringLiteral("Com1"), QStringLiteral("Com2"), QStringLiteral("Com3"),
                          QStringLiteral("Com4")});
    m_portList->setCurrentIndex(-1);
    m_portList->setEditText(QStringLiteral("Com1"));

    m_configurePortButton = makeButton("configurePortButton", QStringLiteral("Configure Port"),
                                       place(3000, 120, 1572, 612));
    m_sendButton = makeButton("sendButton", QStringLiteral("Write array to Arduino"),
                              place(720, 5520, 1692, 732));
    m_sendButton->setEnabled(false);
    m_exitButton = makeButton("exitButton", QStringLiteral("Exit"), place(3000, 5520, 1812, 732));
    m_hint = makeLabel("hint", QStringLiteral("Load a picture, then find its level."),
                       place(600, 6840, 4332, 372));

    const QList<QWidget*> tabOrder{
        m_resultView,      m_scaledView, m_sourceView,          m_loadImageButton,
        m_levelCaption,    m_levelBar,   m_levelFigure,         m_createArrayButton,
        m_writeFileButton, m_portList,   m_configurePortButton, m_sendButton,
        m_exitButton,      m_hint};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i) {
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    }
}

void MainWindow::connectControls()
{
    connect(m_loadImageButton, &QPushButton::clicked, this, [this] { m_controller.onLoadImage(); });
    connect(m_createArrayButton, &QPushButton::clicked, this,
            [this] { m_controller.onCreateArray(); });
    connect(m_writeFileButton, &QPushButton::clicked, this,
            [this] { m_controller.writeArrayFile(); });
    connect(m_configurePortButton, &QPushButton::clicked, this,
            [this] { m_controller.configurePort(); });
    connect(m_sendButton, &QPushButton::clicked, this, [this] { m_controller.sendArray(); });
    connect(m_exitButton, &QPushButton::clicked, this, [this] { m_controller.onExit(); });
    // With tracking on, valueChanged covers arrow and track clicks, keys, values set by
    // the program and every step of a thumb drag.
    connect(m_levelBar, &QScrollBar::valueChanged, this, [this] { m_controller.onLevelChange(); });
}

void MainWindow::start()
{
    m_controller.onLoad();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
}

PictureView* MainWindow::view(View which) const
{
    switch (which) {
    case View::Result:
        return m_resultView;
    case View::Scaled:
        return m_scaledView;
    case View::Source:
        break;
    }
    return m_sourceView;
}

QPushButton* MainWindow::button(Button which) const
{
    switch (which) {
    case Button::LoadImage:
        return m_loadImageButton;
    case Button::CreateArray:
        return m_createArrayButton;
    case Button::WriteArrayFile:
        return m_writeFileButton;
    case Button::ConfigurePort:
        return m_configurePortButton;
    case Button::WriteArrayToArduino:
        return m_sendButton;
    case Button::Exit:
        break;
    }
    return m_exitButton;
}

void MainWindow::setViewSize(View which, int width, int height)
{
    view(which)->resize(width, height);
}

void MainWindow::refreshView(View which)
{
    PictureView* target = view(which);
    if (which == View::Source) {
        // The hidden source view takes its picture's size.
        const Surface& source = m_controller.state().source;
        if (!source.isEmpty()) {
            target->resize(source.width() + 2 * PictureView::kBorder,
                           source.height() + 2 * PictureView::kBorder);
        }
    }
    target->refresh();
}

int MainWindow::levelValue() const
{
    return m_levelBar->value();
}

int MainWindow::levelMaximum() const
{
    return m_levelBar->maximum();
}

void MainWindow::setLevelMaximum(int maximum)
{
    m_levelBar->setMaximum(maximum);
}

void MainWindow::setLevelValue(int value)
{
    m_levelBar->setValue(value);
}

void MainWindow::setLevelText(const QString& text)
{
    m_levelFigure->setText(text);
}

void MainWindow::setButtonEnabled(Button which, bool enabled)
{
    button(which)->setEnabled(enabled);
}

int MainWindow::selectedPortIndex() const
{
    return m_portList->selectedIndex();
}

void MainWindow::showMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("PixelcastMessage"));
    box.exec();
}

void MainWindow::processPendingEvents()
{
    QCoreApplication::processEvents();
}

void MainWindow::endProgram()
{
    close();
    emit programEnded();
}

} // namespace pixelcast

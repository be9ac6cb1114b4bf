#include "form1.h"

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

Form1::Form1(std::optional<double> dotsPerInch, std::unique_ptr<PortDirectory> ports)
    : QWidget(nullptr), m_dotsPerInch(dotsPerInch.value_or(screenDotsPerInch())),
      m_serialPort(std::move(ports))
{
    setObjectName(QStringLiteral("Form1"));
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

Form1::~Form1() = default;

QRect Form1::place(int left, int top, int width, int height) const
{
    return twipsRect(left, top, width, height, m_dotsPerInch);
}

void Form1::createControls()
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
    m_picture1 = makeView("Picture1", state.result, place(240, 1200, 1572, 852));
    m_picture2 = makeView("Picture2", state.scaled, place(2760, 1200, 1572, 852));
    m_picture3 = makeView("Picture3", state.source, place(3960, 120, 1092, 732));
    m_picture3->hide();
    m_command1 = makeButton("Command1", QStringLiteral("Load Image"), place(1920, 3600, 1572, 492));
    m_label1 =
        makeLabel("Label1", QStringLiteral("Conversion level :"), place(960, 2400, 1932, 372));

    m_hScroll1 = new QScrollBar(Qt::Horizontal, this);
    m_hScroll1->setObjectName(QStringLiteral("HScroll1"));
    m_hScroll1->setGeometry(place(960, 3000, 3492, 252));
    m_hScroll1->setMinimum(0);
    m_hScroll1->setSingleStep(1);
    m_hScroll1->setPageStep(1);
    m_hScroll1->setFocusPolicy(Qt::StrongFocus);

    m_label2 = makeLabel("Label2", QString(), place(3240, 2400, 852, 372));
    m_command2 =
        makeButton("Command2", QStringLiteral("Create array"), place(720, 4440, 1692, 732));
    m_command3 =
        makeButton("Command3", QStringLiteral("Write array to file"), place(3000, 4440, 1812, 732));
    m_command3->setEnabled(false);

    m_combo1 = new PortList(this);
    m_combo1->setObjectName(QStringLiteral("Combo1"));
    m_combo1->setGeometry(place(240, 240, 1692, 372));
    m_combo1->addItems({QStringLiteral("Com1"), QStringLiteral("Com2"), QStringLiteral("Com3"),
                        QStringLiteral("Com4")});
    m_combo1->setCurrentIndex(-1);
    m_combo1->setEditText(QStringLiteral("Com1"));

    m_command4 =
        makeButton("Command4", QStringLiteral("Configure Port"), place(3000, 120, 1572, 612));
    m_command5 = makeButton("Command5", QStringLiteral("Write array to Arduino"),
                            place(720, 5520, 1692, 732));
    m_command5->setEnabled(false);
    m_command6 = makeButton("Command6", QStringLiteral("Exit"), place(3000, 5520, 1812, 732));
    m_label3 = makeLabel("Label3", QStringLiteral("Load a picture, then find its level."),
                         place(600, 6840, 4332, 372));

    const QList<QWidget*> tabOrder{m_picture1, m_picture2, m_picture3, m_command1, m_label1,
                                   m_hScroll1, m_label2,   m_command2, m_command3, m_combo1,
                                   m_command4, m_command5, m_command6, m_label3};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i) {
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
    }
}

void Form1::connectControls()
{
    connect(m_command1, &QPushButton::clicked, this, [this] { m_controller.onLoadImage(); });
    connect(m_command2, &QPushButton::clicked, this, [this] { m_controller.onCreateArray(); });
    connect(m_command3, &QPushButton::clicked, this, [this] { m_controller.writeArrayFile(); });
    connect(m_command4, &QPushButton::clicked, this, [this] { m_controller.configurePort(); });
    connect(m_command5, &QPushButton::clicked, this, [this] { m_controller.sendArray(); });
    connect(m_command6, &QPushButton::clicked, this, [this] { m_controller.onExit(); });
    // With tracking on, valueChanged covers arrow and track clicks, keys, values set by
    // the program and every step of a thumb drag.
    connect(m_hScroll1, &QScrollBar::valueChanged, this, [this] { m_controller.onLevelChange(); });
}

void Form1::start()
{
    m_controller.onLoad();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
}

PictureView* Form1::view(View which) const
{
    switch (which) {
    case View::Result:
        return m_picture1;
    case View::Scaled:
        return m_picture2;
    case View::Source:
        break;
    }
    return m_picture3;
}

QPushButton* Form1::button(Button which) const
{
    switch (which) {
    case Button::LoadImage:
        return m_command1;
    case Button::CreateArray:
        return m_command2;
    case Button::WriteArrayFile:
        return m_command3;
    case Button::ConfigurePort:
        return m_command4;
    case Button::WriteArrayToArduino:
        return m_command5;
    case Button::Exit:
        break;
    }
    return m_command6;
}

void Form1::setViewSize(View which, int width, int height)
{
    view(which)->resize(width, height);
}

void Form1::refreshView(View which)
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

int Form1::levelValue() const
{
    return m_hScroll1->value();
}

int Form1::levelMaximum() const
{
    return m_hScroll1->maximum();
}

void Form1::setLevelMaximum(int maximum)
{
    m_hScroll1->setMaximum(maximum);
}

void Form1::setLevelValue(int value)
{
    m_hScroll1->setValue(value);
}

void Form1::setLevelText(const QString& text)
{
    m_label2->setText(text);
}

void Form1::setButtonEnabled(Button which, bool enabled)
{
    button(which)->setEnabled(enabled);
}

int Form1::selectedPortIndex() const
{
    return m_combo1->selectedIndex();
}

void Form1::showMessage(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, kAppTitle, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("PixelcastMessage"));
    box.exec();
}

void Form1::processPendingEvents()
{
    QCoreApplication::processEvents();
}

void Form1::endProgram()
{
    close();
    emit programEnded();
}

} // namespace pixelcast

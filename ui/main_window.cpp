#include "main_window.h"

#include "caption_button.h"
#include "errors/error.h"
#include "help_guide.h"
#include "output/staged_file.h"
#include "panel_menu_items.h"
#include "picture_view.h"
#include "port_list.h"
#include "twips.h"
#include "window_settings.h"

#include <QActionGroup>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QIcon>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <span>

namespace pixelcast {

namespace {

const QString kAppTitle = QStringLiteral("Pixelcast");
// How long a changed picture file has to be left alone before it is loaded again: editors
// write a file in several steps, or replace it.
constexpr int kReloadSettleMs = 300;

[[nodiscard]] double screenDotsPerInch()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInchX() : 96.0;
}

// The one local file a drag carries, or empty when it carries anything else.
QString droppedFile(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().front().isLocalFile()) {
        return {};
    }
    const QString path = data->urls().front().toLocalFile();
    return QFileInfo(path).isFile() ? path : QString();
}

// The local file the clipboard names: a file's URL, or its path or URL as text.
QString namedFile(const QMimeData* data)
{
    if (data == nullptr) {
        return {};
    }
    if (data->hasUrls()) {
        return droppedFile(data);
    }
    if (!data->hasText()) {
        return {};
    }
    const QString text = data->text().trimmed();
    const QUrl url(text);
    const QString path = url.isLocalFile() ? url.toLocalFile() : text;
    const QFileInfo info(path);
    return info.isAbsolute() && info.isFile() ? path : QString();
}

} // namespace

MainWindow::MainWindow(std::optional<double> dotsPerInch, std::unique_ptr<PortDirectory> ports)
    : QMainWindow(nullptr), m_dotsPerInch(dotsPerInch.value_or(screenDotsPerInch())),
      m_serialPort(std::move(ports))
{
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(kAppTitle);
    setWindowIcon(QIcon(QStringLiteral(":/pixelcast/pixelcast.png")));
    setAcceptDrops(true);

    // The form keeps its client size whatever the window around it does.
    m_form = new QWidget(this);
    m_form->setObjectName(QStringLiteral("form"));
    // "Times New Roman" comes from fontconfig's metric-compatible Liberation Serif on
    // systems without it; the text is Unicode, so no character set is chosen.
    QFont font(QStringLiteral("Times New Roman"), 12, QFont::Bold);
    m_form->setFont(font);
    m_form->setFixedSize(twipsToPixels(kClientWidthTwips, m_dotsPerInch),
                         twipsToPixels(kClientHeightTwips, m_dotsPerInch));
    setCentralWidget(m_form);

    createControls();
    connectControls();
    createMenus();
    createStatusBar();

    m_watcher = new QFileSystemWatcher(this);
    m_reloadTimer.setSingleShot(true);
    m_reloadTimer.setInterval(kReloadSettleMs);
    connect(&m_reloadTimer, &QTimer::timeout, this, [this] { reloadChangedPicture(); });
    connect(m_watcher, &QFileSystemWatcher::fileChanged, this, [this] { m_reloadTimer.start(); });
    // A file replaced by another (written beside it, then renamed) is no longer watched; its
    // folder tells when it is back.
    connect(m_watcher, &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!m_watchedFile.isEmpty() && !m_watcher->files().contains(m_watchedFile) &&
            QFileInfo::exists(m_watchedFile)) {
            m_reloadTimer.start();
        }
    });
    m_controller.pictureLoaded = [this](const QString& fileName) {
        if (m_savesSettings) {
            savePictureFolder(QFileInfo(fileName).absolutePath());
        }
    };
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
        auto* view = new PictureView(m_form);
        view->setObjectName(QString::fromLatin1(name));
        view->setGeometry(where);
        view->setSurface(&surface);
        return view;
    };
    auto makeButton = [this](const char* name, const QString& caption, QRect where) {
        auto* button = new CaptionButton(caption, m_form);
        button->setObjectName(QString::fromLatin1(name));
        button->setGeometry(where);
        return button;
    };
    auto makeLabel = [this](const char* name, const QString& text, QRect where) {
        auto* label = new QLabel(text, m_form);
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

    m_levelBar = new QScrollBar(Qt::Horizontal, m_form);
    m_levelBar->setObjectName(QStringLiteral("levelBar"));
    m_levelBar->setGeometry(place(960, 3000, 3492, 252));
    m_levelBar->setMinimum(0);
    m_levelBar->setSingleStep(1);
    m_levelBar->setPageStep(1);
    m_levelBar->setFocusPolicy(Qt::StrongFocus);
    // A scroll bar's controls are inverted by default, so that the wheel and Page Down move
    // a page's content down; Qt 6.4 applies that to Left and Right as well, so Right would
    // lower the level. The level bar takes keys and wheel as a slider does.
    m_levelBar->setInvertedControls(false);

    m_levelFigure = makeLabel("levelFigure", QString(), place(3240, 2400, 852, 372));
    m_createArrayButton = makeButton("createArrayButton", QStringLiteral("Create array"),
                                     place(720, 4440, 1692, 732));
    m_writeFileButton = makeButton("writeFileButton", QStringLiteral("Write array to file"),
                                   place(3000, 4440, 1812, 732));
    m_writeFileButton->setEnabled(false);

    m_portList = new PortList(m_form);
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

void MainWindow::createMenus()
{
    // Each command of a button runs through the button, so both share one handler, and
    // setButtonEnabled keeps both in one state.
    const auto command = [this](QMenu* menu, const char* name, const QString& text,
                                QPushButton* button, const QKeySequence& keys = {}) {
        QAction* item = menu->addAction(text);
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(keys);
        item->setEnabled(button->isEnabled());
        connect(item, &QAction::triggered, button, &QAbstractButton::click);
        return item;
    };

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    m_loadImageAction = command(file, "loadImageAction", QStringLiteral(u"Load Image…"),
                                m_loadImageButton, QKeySequence(QStringLiteral("Ctrl+O")));
    m_writeFileAction = command(file, "writeFileAction", QStringLiteral(u"Write array to file…"),
                                m_writeFileButton, QKeySequence(QStringLiteral("Ctrl+S")));
    file->addSeparator();
    m_exportHeaderAction = file->addAction(QStringLiteral(u"Export C header…"), this,
                                           [this] { m_controller.exportCHeader(); });
    m_exportHeaderAction->setObjectName(QStringLiteral("exportHeaderAction"));
    file->addAction(QStringLiteral(u"Export X bitmap…"), this, [this] { m_controller.exportXbm(); })
        ->setObjectName(QStringLiteral("exportXbmAction"));
    m_exportPreviewAction = file->addAction(QStringLiteral(u"Export preview PNG…"), this,
                                            [this] { m_controller.exportPreviewPng(); });
    m_exportPreviewAction->setObjectName(QStringLiteral("exportPreviewAction"));
    file->addSeparator();
    // The animation's own commands, enabled while an animated picture is loaded.
    const auto animationCommand = [this](QMenu* menu, const char* name, const QString& text,
                                         void (Controller::*handler)(),
                                         const QKeySequence& keys = {}) {
        QAction* item = menu->addAction(text, this, [this, handler] { (m_controller.*handler)(); });
        item->setObjectName(QString::fromLatin1(name));
        item->setShortcut(keys);
        item->setEnabled(false);
        return item;
    };
    m_writeAnimationFileAction = animationCommand(file, "writeAnimationFileAction",
                                                  QStringLiteral(u"Write animation to file…"),
                                                  &Controller::writeAnimationFile);
    m_exportAnimationHeaderAction = animationCommand(file, "exportAnimationHeaderAction",
                                                     QStringLiteral(u"Export animation header…"),
                                                     &Controller::exportAnimationHeader);
    file->addSeparator();
    m_exitAction = command(file, "exitAction", QStringLiteral("Exit"), m_exitButton,
                           QKeySequence(QStringLiteral("Ctrl+Q")));

    createEditMenu();

    QMenu* picture = menuBar()->addMenu(QStringLiteral("&Picture"));
    auto* dithers = new QActionGroup(this);
    dithers->setExclusive(true);
    const std::array<QString, 4> ditherTexts{QStringLiteral("Threshold"),
                                             QStringLiteral(u"Floyd–Steinberg"),
                                             QStringLiteral("Atkinson"), QStringLiteral("Ordered")};
    const std::array<const char*, 4> ditherNames{"thresholdAction", "floydSteinbergAction",
                                                 "atkinsonAction", "orderedAction"};
    for (std::size_t i = 0; i < ditherTexts.size(); ++i) {
        QAction* item = picture->addAction(ditherTexts[i]);
        item->setObjectName(QString::fromLatin1(ditherNames[i]));
        item->setCheckable(true);
        item->setChecked(i == 0);
        dithers->addAction(item);
        m_ditherActions[i] = item;
    }
    picture->addSeparator();
    const auto check = [&](const char* name, const QString& text) {
        QAction* item = picture->addAction(text);
        item->setObjectName(QString::fromLatin1(name));
        item->setCheckable(true);
        return item;
    };
    m_smoothAction = check("smoothAction", QStringLiteral("Smooth stretch"));
    m_keepAspectAction = check("keepAspectAction", QStringLiteral("Keep aspect ratio"));
    m_invertAction = check("invertAction", QStringLiteral("Invert"));
    // Exclusive choices in submenus of their own, each entry named after the command
    // line's value ("backgroundWhiteAction", "rotation90Action", "flipVerticalAction").
    const auto choices = [&](const QString& title, const char* prefix,
                             std::span<const QString> texts, std::span<const char* const> names,
                             std::span<QAction*> into) {
        QMenu* submenu = picture->addMenu(title);
        auto* group = new QActionGroup(this);
        group->setExclusive(true);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            QAction* item = submenu->addAction(texts[i]);
            item->setObjectName(
                QStringLiteral("%1%2Action").arg(QLatin1String(prefix), QLatin1String(names[i])));
            item->setCheckable(true);
            item->setChecked(i == 0);
            group->addAction(item);
            connect(item, &QAction::toggled, this, [this] { onPictureMenuChanged(); });
            into[i] = item;
        }
    };
    const std::array<QString, 3> backgroundTexts{QStringLiteral("Panel grey"),
                                                 QStringLiteral("White"), QStringLiteral("Black")};
    const std::array<const char*, 3> backgroundNames{"Panel", "White", "Black"};
    choices(QStringLiteral("Transparent parts on"), "background", backgroundTexts, backgroundNames,
            m_backgroundActions);
    const std::array<QString, 4> rotationTexts{
        QStringLiteral("Not turned"), QStringLiteral(u"90° clockwise"), QStringLiteral(u"180°"),
        QStringLiteral(u"270° clockwise")};
    const std::array<const char*, 4> rotationNames{"None", "90", "180", "270"};
    choices(QStringLiteral("Rotate"), "rotation", rotationTexts, rotationNames, m_rotationActions);
    const std::array<QString, 3> flipTexts{QStringLiteral("Not mirrored"),
                                           QStringLiteral("Left to right"),
                                           QStringLiteral("Top to bottom")};
    const std::array<const char*, 3> flipNames{"None", "Horizontal", "Vertical"};
    choices(QStringLiteral("Mirror"), "flip", flipTexts, flipNames, m_flipActions);
    for (QAction* item : picture->actions()) {
        if (item->menu() == nullptr) {
            connect(item, &QAction::toggled, this, [this] { onPictureMenuChanged(); });
        }
    }
    picture->addSeparator();
    QAction* setLevel =
        picture->addAction(QStringLiteral(u"Set level…"), this, [this] { askLevel(); });
    setLevel->setObjectName(QStringLiteral("setLevelAction"));
    setLevel->setShortcut(QKeySequence(QStringLiteral("Ctrl+L")));

    // The sizes of the modules people buy and of icons; the layouts of the libraries they
    // draw with.
    m_displayMenu = menuBar()->addMenu(QStringLiteral("&Display"));
    m_sizeGroup = new QActionGroup(this);
    m_sizeGroup->setExclusive(true);
    for (const DisplaySize size :
         {DisplaySize{128, 64}, DisplaySize{128, 32}, DisplaySize{96, 16}, DisplaySize{72, 40},
          DisplaySize{64, 48}, DisplaySize{64, 32}, DisplaySize{32, 32}, DisplaySize{16, 16}}) {
        addSizeAction(size)->setChecked(size == kDefaultDisplay);
    }
    m_sizeSeparator = m_displayMenu->addSeparator();
    auto* layouts = new QActionGroup(this);
    layouts->setExclusive(true);
    for (const ByteLayout* layout : allLayouts()) {
        QAction* item = m_displayMenu->addAction(QString::fromUtf8(
            layout->title().data(), static_cast<qsizetype>(layout->title().size())));
        item->setObjectName(
            QStringLiteral("%1LayoutAction").arg(QString::fromLatin1(layout->name())));
        item->setCheckable(true);
        item->setChecked(layout == &verticalLayout());
        layouts->addAction(item);
        connect(item, &QAction::toggled, this, [this] { onDisplayMenuChanged(); });
        m_layoutActions.emplace_back(item, layout);
    }

    // Media players' keys: K plays and pauses, comma and period step a frame. Space and the
    // arrows stay with the focused button and the level's scroll bar.
    QMenu* animation = menuBar()->addMenu(QStringLiteral("&Animation"));
    m_playAction = animationCommand(animation, "playAction", QStringLiteral("Play"),
                                    &Controller::onPlayPause, QKeySequence(Qt::Key_K));
    m_previousFrameAction =
        animationCommand(animation, "previousFrameAction", QStringLiteral("Previous frame"),
                         &Controller::onPreviousFrame, QKeySequence(Qt::Key_Comma));
    m_nextFrameAction = animationCommand(animation, "nextFrameAction", QStringLiteral("Next frame"),
                                         &Controller::onNextFrame, QKeySequence(Qt::Key_Period));
    m_portList->leaveKeysToCommands({m_playAction->shortcut(), m_previousFrameAction->shortcut(),
                                     m_nextFrameAction->shortcut()});

    QMenu* board = menuBar()->addMenu(QStringLiteral("&Board"));
    m_configurePortAction = command(board, "configurePortAction", QStringLiteral("Configure Port"),
                                    m_configurePortButton);
    m_sendAction =
        command(board, "sendAction", QStringLiteral("Write array to Arduino"), m_sendButton);
    m_sendAnimationAction = animationCommand(
        board, "sendAnimationAction", QStringLiteral("Send animation"), &Controller::sendAnimation);

    m_panelItems = new PanelMenuItems(*m_displayMenu, m_controller.state().result, *this);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    QAction* guide = help->addAction(QStringLiteral("Pixelcast Help"), this, [this] {
        try {
            openUserGuide();
        } catch (const Error& error) {
            showMessage(error.message());
        }
    });
    guide->setObjectName(QStringLiteral("helpAction"));
    guide->setShortcut(QKeySequence::HelpContents);
    help->addSeparator();
    help->addAction(QStringLiteral("About Pixelcast"), this, [this] { showAbout(); });
    help->addAction(QStringLiteral("About Qt"), qApp, &QApplication::aboutQt);
}

void MainWindow::createEditMenu()
{
    // The header goes as text, the rendering as an image; what is pasted loads as a chosen
    // picture. A focused text field (the port list's) keeps Ctrl+C and Ctrl+V for itself.
    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    const auto item = [&](const char* name, const QString& text, void (Controller::*handler)(),
                          const QString& keys) {
        QAction* added =
            edit->addAction(text, this, [this, handler] { (m_controller.*handler)(); });
        added->setObjectName(QString::fromLatin1(name));
        added->setShortcut(QKeySequence(keys));
    };
    item("copyHeaderAction", QStringLiteral("Copy C header"), &Controller::copyCHeader,
         QStringLiteral("Ctrl+C"));
    item("copyPictureAction", QStringLiteral("Copy picture"), &Controller::copyPicture,
         QStringLiteral("Ctrl+Shift+C"));
    item("pastePictureAction", QStringLiteral("Paste picture"), &Controller::pastePicture,
         QStringLiteral("Ctrl+V"));
}

void MainWindow::createStatusBar()
{
    statusBar()->setSizeGripEnabled(false);
    auto* lines = new QWidget(statusBar());
    auto* column = new QVBoxLayout(lines);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    // A label rather than a temporary message, which every opened menu would clear.
    m_statusLine = new QLabel(lines);
    m_statusLine->setObjectName(QStringLiteral("statusLine"));
    // A message longer than the window is wide goes on over more lines, never cut off.
    m_statusLine->setWordWrap(true);
    column->addWidget(m_statusLine);
    // Under it, for an animation only: the frame shown, and a send's progress with Cancel.
    // The window is too narrow to share one line with the command's message.
    m_animationLine = new QWidget(lines);
    auto* row = new QHBoxLayout(m_animationLine);
    row->setContentsMargins(0, 0, 0, 0);
    m_frameLine = new QLabel(m_animationLine);
    m_frameLine->setObjectName(QStringLiteral("frameLine"));
    row->addWidget(m_frameLine);
    m_sendProgress = new QProgressBar(m_animationLine);
    m_sendProgress->setObjectName(QStringLiteral("sendProgress"));
    m_sendProgress->setFormat(QStringLiteral("%v of %m frames"));
    m_sendProgress->hide();
    row->addWidget(m_sendProgress, 1);
    m_cancelSendButton = new QPushButton(QStringLiteral("Cancel"), m_animationLine);
    m_cancelSendButton->setObjectName(QStringLiteral("cancelSendButton"));
    m_cancelSendButton->setShortcut(QKeySequence(Qt::Key_Escape));
    m_cancelSendButton->hide();
    row->addWidget(m_cancelSendButton);
    connect(m_cancelSendButton, &QPushButton::clicked, this, [this] { m_controller.cancelSend(); });
    m_animationLine->hide();
    column->addWidget(m_animationLine);
    statusBar()->addWidget(lines, 1);
}

void MainWindow::showAnimationLine(bool changed)
{
    const bool shown = !m_frameLine->text().isEmpty() || !m_sendProgress->isHidden();
    if (changed || shown == m_animationLine->isHidden()) {
        m_animationLine->setVisible(shown);
        // The window takes the status bar's new height once its layout has it; the form
        // stays where it is.
        QTimer::singleShot(0, this, [this] { adjustSize(); });
    }
}

QAction* MainWindow::action(Button which) const
{
    switch (which) {
    case Button::LoadImage:
        return m_loadImageAction;
    case Button::WriteArrayFile:
        return m_writeFileAction;
    case Button::ConfigurePort:
        return m_configurePortAction;
    case Button::WriteArrayToArduino:
        return m_sendAction;
    case Button::Exit:
        return m_exitAction;
    case Button::CreateArray:
        break;
    }
    return nullptr;
}

RenderOptions MainWindow::menuRenderOptions() const
{
    RenderOptions options;
    for (std::size_t i = 0; i < m_ditherActions.size(); ++i) {
        if (m_ditherActions[i]->isChecked()) {
            options.dither = static_cast<Dither>(i);
        }
    }
    options.smooth = m_smoothAction->isChecked();
    options.keepAspect = m_keepAspectAction->isChecked();
    options.invert = m_invertAction->isChecked();
    const auto chosen = [](std::span<QAction* const> items) {
        const auto found = std::find_if(items.begin(), items.end(),
                                        [](const QAction* a) { return a->isChecked(); });
        return static_cast<int>(found == items.end() ? 0 : found - items.begin());
    };
    options.background = static_cast<Background>(chosen(m_backgroundActions));
    options.rotation = static_cast<Rotation>(chosen(m_rotationActions));
    options.flip = static_cast<Flip>(chosen(m_flipActions));
    return options;
}

void MainWindow::setRenderOptions(const RenderOptions& options)
{
    // The handlers stay quiet through the flag, not by blocking the items' signals: an
    // exclusive group learns its checked item from them, and a group left unaware keeps two
    // items checked after the user's next choice.
    const QScopedValueRollback applying(m_applyingChoices, true);
    const auto set = [](QAction* item, bool on) {
        item->setChecked(on);
    };
    for (std::size_t i = 0; i < m_ditherActions.size(); ++i) {
        set(m_ditherActions[i], static_cast<std::size_t>(options.dither) == i);
    }
    set(m_smoothAction, options.smooth);
    set(m_keepAspectAction, options.keepAspect);
    set(m_invertAction, options.invert);
    const auto setChoice = [&](std::span<QAction* const> items, int index) {
        for (std::size_t i = 0; i < items.size(); ++i) {
            set(items[i], static_cast<int>(i) == index);
        }
    };
    setChoice(m_backgroundActions, static_cast<int>(options.background));
    setChoice(m_rotationActions, static_cast<int>(options.rotation));
    setChoice(m_flipActions, static_cast<int>(options.flip));
    m_controller.setRenderOptions(options);
}

void MainWindow::onPictureMenuChanged()
{
    // An exclusive group unchecks the old entry before it checks the new one: only a state
    // with one entry of each group checked is a choice.
    if (m_applyingChoices) {
        return;
    }
    const auto one = [](std::span<QAction* const> items) {
        return std::count_if(items.begin(), items.end(),
                             [](const QAction* item) { return item->isChecked(); }) == 1;
    };
    if (!one(m_ditherActions) || !one(m_backgroundActions) || !one(m_rotationActions) ||
        !one(m_flipActions)) {
        return;
    }
    const RenderOptions options = menuRenderOptions();
    if (m_savesSettings) {
        saveRenderOptions(options);
    }
    m_controller.setRenderOptions(options);
}

void MainWindow::showAbout()
{
    QString guide = QStringLiteral(u"Help → Pixelcast Help (F1) opens the user's guide");
    try {
        const QString path = userGuide();
        guide +=
            QStringLiteral(", <a href=\"%1\">%2</a>")
                .arg(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded), path.toHtmlEscaped());
    } catch (const Error&) {
        // Without a guide the box still names the command, which says where it looked.
    }
    QMessageBox::about(
        this, QStringLiteral("About Pixelcast"),
        QStringLiteral(u"<p><b>Pixelcast %1</b></p>"
                       u"<p>Turns a picture into the array of a monochrome display (1024 bytes "
                       u"for the 128 × 64 one it starts with, or the size the Display menu "
                       u"chooses) and writes it to a file or sends it to an Arduino board.</p>"
                       u"<p>%2.</p>"
                       u"<p>Released under the MIT licence.</p>")
            .arg(pixelcastVersion(), guide));
}

QAction* MainWindow::addSizeAction(DisplaySize size)
{
    QAction* item = new QAction(QStringLiteral(u"%1 × %2").arg(size.width).arg(size.height), this);
    item->setObjectName(QStringLiteral("size%1x%2Action").arg(size.width).arg(size.height));
    item->setCheckable(true);
    m_displayMenu->insertAction(m_sizeSeparator, item);
    m_sizeGroup->addAction(item);
    connect(item, &QAction::toggled, this, [this] { onDisplayMenuChanged(); });
    m_sizeActions.emplace_back(item, size);
    return item;
}

DisplayFormat MainWindow::menuDisplayFormat() const
{
    DisplayFormat display;
    for (const auto& [item, size] : m_sizeActions) {
        if (item->isChecked()) {
            display.size = size;
        }
    }
    for (const auto& [item, layout] : m_layoutActions) {
        if (item->isChecked()) {
            display.layout = layout;
        }
    }
    return display;
}

void MainWindow::setDisplayFormat(const DisplayFormat& display)
{
    const auto listed =
        std::find_if(m_sizeActions.begin(), m_sizeActions.end(),
                     [&](const auto& entry) { return entry.second == display.size; });
    QAction* sizeItem = listed != m_sizeActions.end() ? listed->first : addSizeAction(display.size);
    // Quiet through the flag, as in setRenderOptions.
    const QScopedValueRollback applying(m_applyingChoices, true);
    for (const auto& [item, size] : m_sizeActions) {
        item->setChecked(item == sizeItem);
    }
    for (const auto& [item, layout] : m_layoutActions) {
        item->setChecked(layout == display.layout);
    }
    m_controller.setDisplay(display);
}

void MainWindow::onDisplayMenuChanged()
{
    // As in the Picture menu: only a state with one entry of each group checked is a choice.
    if (m_applyingChoices) {
        return;
    }
    const auto oneChecked = [](const auto& entries) {
        return std::count_if(entries.begin(), entries.end(),
                             [](const auto& entry) { return entry.first->isChecked(); }) == 1;
    };
    if (!oneChecked(m_sizeActions) || !oneChecked(m_layoutActions)) {
        return;
    }
    const DisplayFormat display = menuDisplayFormat();
    if (m_savesSettings) {
        saveDisplayFormat(display);
    }
    m_controller.setDisplay(display);
}

void MainWindow::restoreSettings()
{
    const WindowSettings stored = readWindowSettings();
    m_fileDialogs.setStartFolder(stored.pictureFolder);
    setRenderOptions(stored.renderOptions);
    setDisplayFormat(stored.display);
    m_panelItems->restore(stored.moduleColour);
    m_savesSettings = true;
}

void MainWindow::startWith(const WindowArguments& arguments)
{
    setRenderOptions(arguments.appliedTo(menuRenderOptions()));
    setDisplayFormat(arguments.display.appliedTo(menuDisplayFormat()));
    start();
    if (!arguments.file.isEmpty()) {
        openPicture(arguments.file);
    }
}

void MainWindow::openPicture(const QString& fileName)
{
    m_controller.loadImageFile(fileName);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString fileName = droppedFile(event->mimeData());
    if (fileName.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    openPicture(fileName);
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
    if (which == View::Result) {
        m_panelItems->refresh();
    }
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
    if (QAction* item = action(which)) {
        item->setEnabled(enabled);
    }
}

void MainWindow::setCommandEnabled(Command which, bool enabled)
{
    switch (which) {
    case Command::PlayPause:
        m_playAction->setEnabled(enabled);
        break;
    case Command::PreviousFrame:
        m_previousFrameAction->setEnabled(enabled);
        break;
    case Command::NextFrame:
        m_nextFrameAction->setEnabled(enabled);
        break;
    case Command::WriteAnimationFile:
        m_writeAnimationFileAction->setEnabled(enabled);
        break;
    case Command::ExportAnimationHeader:
        m_exportAnimationHeaderAction->setEnabled(enabled);
        break;
    case Command::SendAnimation:
        m_sendAnimationAction->setEnabled(enabled);
        break;
    case Command::CancelSend:
        m_cancelSendButton->setEnabled(enabled);
        break;
    }
}

void MainWindow::showPlaying(bool playing)
{
    m_playAction->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
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

void MainWindow::showStatus(const QString& text)
{
    m_statusLine->setText(text);
    // A message of more lines, or fewer, changes the status bar's height.
    if (m_statusLine->heightForWidth(m_statusLine->width()) != m_statusLine->height()) {
        QTimer::singleShot(0, this, [this] { adjustSize(); });
    }
}

void MainWindow::showFrameStatus(const QString& text)
{
    m_frameLine->setText(text);
    showAnimationLine(false);
}

void MainWindow::showSendProgress(int sent, int total)
{
    if (total > 0) {
        m_sendProgress->setRange(0, total);
        m_sendProgress->setValue(sent);
    }
    if (m_sendProgress->isHidden() == (total > 0)) {
        m_sendProgress->setVisible(total > 0);
        m_cancelSendButton->setVisible(total > 0);
        showAnimationLine(true);
    }
}

void MainWindow::showPictureFile(const QString& fileName)
{
    setWindowTitle(fileName.isEmpty()
                       ? kAppTitle
                       : QStringLiteral(u"%1 — %2").arg(QFileInfo(fileName).fileName(), kAppTitle));
    // Watched afresh on every load: a reload follows a file replaced under the same name.
    for (const QStringList& paths : {m_watcher->files(), m_watcher->directories()}) {
        if (!paths.isEmpty()) {
            m_watcher->removePaths(paths);
        }
    }
    m_watchedFile = fileName;
    if (!fileName.isEmpty()) {
        m_watcher->addPath(fileName);
        m_watcher->addPath(QFileInfo(fileName).absolutePath());
    }
}

void MainWindow::reloadChangedPicture()
{
    if (m_watchedFile.isEmpty() || !QFileInfo::exists(m_watchedFile)) {
        // Gone for now: its folder tells when it is back.
        return;
    }
    if (QApplication::activeModalWidget() != nullptr) {
        m_reloadTimer.start();
        return;
    }
    m_controller.reloadPicture();
}

void MainWindow::copyText(const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
}

void MainWindow::copyPicture(const QByteArray& png)
{
    QGuiApplication::clipboard()->setImage(QImage::fromData(png, "PNG"));
}

QString MainWindow::pastedPictureFile()
{
    const QMimeData* held = QGuiApplication::clipboard()->mimeData();
    if (const QString file = namedFile(held); !file.isEmpty()) {
        return file;
    }
    if (held == nullptr || !held->hasImage()) {
        return {};
    }
    const auto image = qvariant_cast<QImage>(held->imageData());
    if (image.isNull()) {
        return {};
    }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    if (!m_pasteFolder) {
        m_pasteFolder = std::make_unique<QTemporaryDir>();
        m_fileDialogs.setScratchFolder(m_pasteFolder->path());
    }
    // A folder of its own keeps the name of every paste "pasted.png" without one paste
    // writing over the picture shown, which would reload it.
    const QString folder = m_pasteFolder->filePath(QString::number(++m_pastes));
    if (!m_pasteFolder->isValid() || !QDir().mkpath(folder)) {
        throw Error(ErrorCode::PreviewNotWritten,
                    QStringLiteral("There is no folder to keep the pasted picture in."));
    }
    const QString path = QDir(folder).filePath(QStringLiteral("pasted.png"));
    saveFileWhole(path, png, ErrorCode::PreviewNotWritten, QStringLiteral("pasted picture"));
    return path;
}

void MainWindow::askLevel()
{
    bool chosen = false;
    const int level = QInputDialog::getInt(this, QStringLiteral("Set level"),
                                           QStringLiteral(u"Conversion level (%1–%2):")
                                               .arg(m_levelBar->minimum())
                                               .arg(m_levelBar->maximum()),
                                           m_levelBar->value(), m_levelBar->minimum(),
                                           m_levelBar->maximum(), 1, &chosen);
    if (chosen) {
        m_levelBar->setValue(level);
    }
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

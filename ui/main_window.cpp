#include "main_window.h"

#include "caption_button.h"
#include "choice_menus.h"
#include "clipboard_files.h"
#include "command_menus.h"
#include "errors/error.h"
#include "help_guide.h"
#include "panel_menu_items.h"
#include "picture_view.h"
#include "port_list.h"
#include "svg/svg.h"
#include "twips.h"
#include "window_settings.h"

#include <QApplication>
#include <QClipboard>
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
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

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

} // namespace

MainWindow::MainWindow(std::optional<double> dotsPerInch, std::unique_ptr<PortDirectory> ports,
                       std::unique_ptr<PortDirectory> boardPorts)
    : QMainWindow(nullptr), m_dotsPerInch(dotsPerInch.value_or(screenDotsPerInch())),
      m_serialPort(std::move(ports)), m_boardLink(std::move(boardPorts))
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

    m_views = {
        {View::Result, m_resultView}, {View::Scaled, m_scaledView}, {View::Source, m_sourceView}};
    m_buttons = {
        {Button::LoadImage, m_loadImageButton},      {Button::CreateArray, m_createArrayButton},
        {Button::WriteArrayFile, m_writeFileButton}, {Button::ConfigurePort, m_configurePortButton},
        {Button::WriteArrayToArduino, m_sendButton}, {Button::Exit, m_exitButton}};

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
    m_choices = new ChoiceMenus(this);
    connect(m_choices, &ChoiceMenus::renderOptionsChosen, this,
            [this](const RenderOptions& options) {
                if (m_savesSettings) {
                    saveRenderOptions(options);
                }
                m_controller.setRenderOptions(options);
            });
    connect(m_choices, &ChoiceMenus::displayChosen, this, [this](const DisplayFormat& display) {
        if (m_savesSettings) {
            saveDisplayFormat(display);
        }
        m_controller.setDisplay(display);
    });
    m_menus.build(
        *menuBar(), menuTable(), [this](Button which) { return button(which); }, *this);
    m_liveAction = menuBar()->findChild<QAction*>(QStringLiteral("liveOnBoardAction"));
    // The player's single keys, which a focused text field would otherwise take.
    m_portList->leaveKeysToCommands({m_menus.forCommand(Command::PlayPause)->shortcut(),
                                     m_menus.forCommand(Command::PreviousFrame)->shortcut(),
                                     m_menus.forCommand(Command::NextFrame)->shortcut()});
}

std::vector<MenuSpec> MainWindow::menuTable()
{
    Controller& c = m_controller;
    const auto key = [](const char* keys) {
        return QKeySequence(QString::fromLatin1(keys));
    };
    using Item = MenuItem;
    return {
        {QStringLiteral("&File"),
         {},
         {
             Item::ofButton(QStringLiteral(u"Load Image…"), "loadImageAction", key("Ctrl+O"),
                            Button::LoadImage),
             Item::ofButton(QStringLiteral(u"Write array to file…"), "writeFileAction",
                            key("Ctrl+S"), Button::WriteArrayFile),
             Item::separator(),
             Item::action(QStringLiteral(u"Export C header…"), "exportHeaderAction", {},
                          [&c] { c.exportCHeader(); }),
             Item::action(QStringLiteral(u"Export X bitmap…"), "exportXbmAction", {},
                          [&c] { c.exportXbm(); }),
             Item::action(QStringLiteral(u"Export preview PNG…"), "exportPreviewAction", {},
                          [&c] { c.exportPreviewPng(); }),
             Item::separator(),
             Item::ofCommand(QStringLiteral(u"Write animation to file…"),
                             "writeAnimationFileAction", {}, Command::WriteAnimationFile,
                             [&c] { c.writeAnimationFile(); }),
             Item::ofCommand(QStringLiteral(u"Export animation header…"),
                             "exportAnimationHeaderAction", {}, Command::ExportAnimationHeader,
                             [&c] { c.exportAnimationHeader(); }),
             Item::separator(),
             Item::ofButton(QStringLiteral("Exit"), "exitAction", key("Ctrl+Q"), Button::Exit),
         }},
        // The header goes as text, the rendering as an image; what is pasted loads as a
        // chosen picture. A focused text field (the port list's) keeps Ctrl+C and Ctrl+V.
        {QStringLiteral("&Edit"),
         {},
         {
             Item::action(QStringLiteral("Copy C header"), "copyHeaderAction", key("Ctrl+C"),
                          [&c] { c.copyCHeader(); }),
             Item::action(QStringLiteral("Copy picture"), "copyPictureAction", key("Ctrl+Shift+C"),
                          [&c] { c.copyPicture(); }),
             Item::action(QStringLiteral("Paste picture"), "pastePictureAction", key("Ctrl+V"),
                          [&c] { c.pastePicture(); }),
         }},
        {QStringLiteral("&Picture"),
         [this](QMenu& menu) { m_choices->fillPicture(menu); },
         {
             Item::separator(),
             Item::action(QStringLiteral(u"Set level…"), "setLevelAction", key("Ctrl+L"),
                          [this] { askLevel(); }),
         }},
        {QStringLiteral("&Display"),
         [this](QMenu& menu) {
             m_choices->fillDisplay(menu);
             m_panelItems = new PanelMenuItems(menu, m_controller.state().result, *this);
         },
         {}},
        // Media players' keys: K plays and pauses, comma and period step a frame. Space and
        // the arrows stay with the focused button and the level's scroll bar.
        {QStringLiteral("&Animation"),
         {},
         {
             Item::ofCommand(QStringLiteral("Play"), "playAction", QKeySequence(Qt::Key_K),
                             Command::PlayPause, [&c] { c.onPlayPause(); }),
             Item::ofCommand(QStringLiteral("Previous frame"), "previousFrameAction",
                             QKeySequence(Qt::Key_Comma), Command::PreviousFrame,
                             [&c] { c.onPreviousFrame(); }),
             Item::ofCommand(QStringLiteral("Next frame"), "nextFrameAction",
                             QKeySequence(Qt::Key_Period), Command::NextFrame,
                             [&c] { c.onNextFrame(); }),
         }},
        {QStringLiteral("&Board"),
         {},
         {
             Item::ofButton(QStringLiteral("Configure Port"), "configurePortAction", {},
                            Button::ConfigurePort),
             Item::ofButton(QStringLiteral("Write array to Arduino"), "sendAction", {},
                            Button::WriteArrayToArduino),
             Item::ofCommand(QStringLiteral("Send animation"), "sendAnimationAction", {},
                             Command::SendAnimation, [&c] { c.sendAnimation(); }),
             // The live link: the board follows the window, frame by frame.
             Item::separator(),
             Item::toggle(QStringLiteral("Live on board"), "liveOnBoardAction", {},
                          [this](bool live) { m_liveBoard.setLive(live); }),
             Item::action(QStringLiteral("Find board"), "findBoardAction", {},
                          [this] { m_liveBoard.findBoard(); }),
         }},
        {QStringLiteral("&Help"),
         {},
         {
             Item::action(QStringLiteral("Pixelcast Help"), "helpAction",
                          QKeySequence(QKeySequence::HelpContents), [this] { showUserGuide(); }),
             Item::separator(),
             Item::action(QStringLiteral("About Pixelcast"), "aboutAction", {},
                          [this] { showAbout(); }),
             Item::action(QStringLiteral("About Qt"), "aboutQtAction", {},
                          [] { QApplication::aboutQt(); }),
         }},
    };
}

void MainWindow::showUserGuide()
{
    try {
        openUserGuide();
    } catch (const Error& error) {
        showMessage(error.message());
    }
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

RenderOptions MainWindow::menuRenderOptions() const
{
    return m_choices->renderOptions();
}

void MainWindow::setRenderOptions(const RenderOptions& options)
{
    m_choices->setRenderOptions(options);
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

DisplayFormat MainWindow::menuDisplayFormat() const
{
    return m_choices->displayFormat();
}

void MainWindow::setDisplayFormat(const DisplayFormat& display)
{
    m_choices->setDisplayFormat(display);
    m_controller.setDisplay(display);
}

void MainWindow::showLive(bool live)
{
    m_liveAction->setChecked(live);
}

void MainWindow::useDisplaySize(DisplaySize size)
{
    DisplayFormat display = menuDisplayFormat();
    display.size = size;
    if (m_savesSettings) {
        saveDisplayFormat(display);
    }
    setDisplayFormat(display);
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
    if (!draggedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QString fileName = draggedFile(event->mimeData());
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
    return m_views.at(which);
}

QPushButton* MainWindow::button(Button which) const
{
    return m_buttons.at(which);
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
    if (QAction* item = m_menus.forButton(which)) {
        item->setEnabled(enabled);
    }
}

void MainWindow::setCommandEnabled(Command which, bool enabled)
{
    if (QAction* item = m_menus.forCommand(which)) {
        item->setEnabled(enabled);
    } else if (which == Command::CancelSend) {
        m_cancelSendButton->setEnabled(enabled);
    }
}

void MainWindow::showPlaying(bool playing)
{
    m_menus.forCommand(Command::PlayPause)
        ->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
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
    if (QString file = clipboardFile(held); !file.isEmpty()) {
        return file;
    }
    // SVG markup, as drawing programs copy it (or its text copied from an editor).
    if (held != nullptr) {
        const QByteArray svg = held->hasFormat(QStringLiteral("image/svg+xml"))
                                   ? held->data(QStringLiteral("image/svg+xml"))
                                   : held->text().toUtf8();
        if (looksLikeSvg(svg)) {
            QString path = m_pastedPictures.keepSvg(svg);
            m_fileDialogs.setScratchFolder(m_pastedPictures.folder());
            return path;
        }
    }
    if (QString kept = m_pastedPictures.keepEncoded(held); !kept.isEmpty()) {
        m_fileDialogs.setScratchFolder(m_pastedPictures.folder());
        return kept;
    }
    if (held == nullptr || !held->hasImage()) {
        return {};
    }
    const auto image = qvariant_cast<QImage>(held->imageData());
    if (image.isNull()) {
        return {};
    }
    QString path = m_pastedPictures.keep(image);
    m_fileDialogs.setScratchFolder(m_pastedPictures.folder());
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

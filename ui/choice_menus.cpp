#include "choice_menus.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QScopedValueRollback>

#include <algorithm>
#include <span>

namespace pixelcast {

namespace {

template <typename Value> struct Entry {
    QString text;
    const char* name = nullptr;
    Value value;
};

// The object names are the command line's values: "backgroundWhiteAction",
// "rotation90Action", "flipVerticalAction".
const Entry<Dither> kDithers[]{
    {QStringLiteral("Threshold"), "thresholdAction", Dither::None},
    {QStringLiteral(u"Floyd–Steinberg"), "floydSteinbergAction", Dither::FloydSteinberg},
    {QStringLiteral("Atkinson"), "atkinsonAction", Dither::Atkinson},
    {QStringLiteral("Ordered"), "orderedAction", Dither::Ordered},
};
const Entry<Background> kBackgrounds[]{
    {QStringLiteral("Panel grey"), "backgroundPanelAction", Background::Panel},
    {QStringLiteral("White"), "backgroundWhiteAction", Background::White},
    {QStringLiteral("Black"), "backgroundBlackAction", Background::Black},
};
const Entry<Rotation> kRotations[]{
    {QStringLiteral("Not turned"), "rotationNoneAction", Rotation::None},
    {QStringLiteral(u"90° clockwise"), "rotation90Action", Rotation::Quarter},
    {QStringLiteral(u"180°"), "rotation180Action", Rotation::Half},
    {QStringLiteral(u"270° clockwise"), "rotation270Action", Rotation::ThreeQuarters},
};
const Entry<Flip> kFlips[]{
    {QStringLiteral("Not mirrored"), "flipNoneAction", Flip::None},
    {QStringLiteral("Left to right"), "flipHorizontalAction", Flip::Horizontal},
    {QStringLiteral("Top to bottom"), "flipVerticalAction", Flip::Vertical},
};
// The sizes of the modules people buy, and of icons.
constexpr DisplaySize kListedSizes[]{{128, 64}, {128, 32}, {96, 16}, {72, 40},
                                     {64, 48},  {64, 32},  {32, 32}, {16, 16}};

QAction* checkable(QMenu& menu, const QString& text, const QString& name)
{
    QAction* item = menu.addAction(text);
    item->setObjectName(name);
    item->setCheckable(true);
    return item;
}

// One exclusive group of `entries` in `menu`, the first checked.
template <typename Value, typename OnChange>
void addGroup(QMenu& menu, std::span<const Entry<Value>> entries,
              std::vector<std::pair<QAction*, Value>>& into, QObject* owner, OnChange onChange)
{
    auto* group = new QActionGroup(owner);
    group->setExclusive(true);
    for (const Entry<Value>& entry : entries) {
        QAction* item = checkable(menu, entry.text, QString::fromLatin1(entry.name));
        item->setChecked(into.empty());
        group->addAction(item);
        QObject::connect(item, &QAction::toggled, owner, onChange);
        into.emplace_back(item, entry.value);
    }
}

template <typename Value>
[[nodiscard]] Value checkedValue(const std::vector<std::pair<QAction*, Value>>& choices)
{
    const auto found = std::find_if(choices.begin(), choices.end(),
                                    [](const auto& choice) { return choice.first->isChecked(); });
    return found != choices.end() ? found->second : choices.front().second;
}

template <typename Value>
void check(const std::vector<std::pair<QAction*, Value>>& choices, const Value& value)
{
    for (const auto& [item, itsValue] : choices) {
        item->setChecked(itsValue == value);
    }
}

// An exclusive group unchecks the old item before it checks the new one: only a state
// with one item of each group checked is a choice.
template <typename Value>
[[nodiscard]] bool oneChecked(const std::vector<std::pair<QAction*, Value>>& choices)
{
    return std::count_if(choices.begin(), choices.end(),
                         [](const auto& choice) { return choice.first->isChecked(); }) == 1;
}

} // namespace

ChoiceMenus::ChoiceMenus(QObject* parent) : QObject(parent) {}

void ChoiceMenus::fillPicture(QMenu& menu)
{
    const auto changed = [this] {
        onPictureChanged();
    };
    addGroup<Dither>(menu, kDithers, m_dithers, this, changed);
    menu.addSeparator();
    m_smooth = checkable(menu, QStringLiteral("Smooth stretch"), QStringLiteral("smoothAction"));
    m_keepAspect =
        checkable(menu, QStringLiteral("Keep aspect ratio"), QStringLiteral("keepAspectAction"));
    m_invert = checkable(menu, QStringLiteral("Invert"), QStringLiteral("invertAction"));
    for (QAction* item : {m_smooth, m_keepAspect, m_invert}) {
        connect(item, &QAction::toggled, this, changed);
    }
    addGroup<Background>(*menu.addMenu(QStringLiteral("Transparent parts on")), kBackgrounds,
                         m_backgrounds, this, changed);
    addGroup<Rotation>(*menu.addMenu(QStringLiteral("Rotate")), kRotations, m_rotations, this,
                       changed);
    addGroup<Flip>(*menu.addMenu(QStringLiteral("Mirror")), kFlips, m_flips, this, changed);
}

void ChoiceMenus::fillDisplay(QMenu& menu)
{
    m_displayMenu = &menu;
    m_sizeGroup = new QActionGroup(this);
    m_sizeGroup->setExclusive(true);
    m_sizeSeparator = menu.addSeparator();
    for (const DisplaySize size : kListedSizes) {
        addSize(size)->setChecked(size == kDefaultDisplay);
    }
    // The layouts of the libraries people draw with, as each names itself.
    auto* layouts = new QActionGroup(this);
    layouts->setExclusive(true);
    for (const ByteLayout* layout : allLayouts()) {
        QAction* item =
            checkable(menu,
                      QString::fromUtf8(layout->title().data(),
                                        static_cast<qsizetype>(layout->title().size())),
                      QStringLiteral("%1LayoutAction").arg(QString::fromLatin1(layout->name())));
        item->setChecked(layout == &verticalLayout());
        layouts->addAction(item);
        connect(item, &QAction::toggled, this, [this] { onDisplayChanged(); });
        m_layouts.emplace_back(item, layout);
    }
}

QAction* ChoiceMenus::addSize(DisplaySize size)
{
    auto* item = new QAction(QStringLiteral(u"%1 × %2").arg(size.width).arg(size.height), this);
    item->setObjectName(QStringLiteral("size%1x%2Action").arg(size.width).arg(size.height));
    item->setCheckable(true);
    m_displayMenu->insertAction(m_sizeSeparator, item);
    m_sizeGroup->addAction(item);
    connect(item, &QAction::toggled, this, [this] { onDisplayChanged(); });
    m_sizes.emplace_back(item, size);
    return item;
}

RenderOptions ChoiceMenus::renderOptions() const
{
    RenderOptions options;
    options.dither = checkedValue(m_dithers);
    options.smooth = m_smooth->isChecked();
    options.keepAspect = m_keepAspect->isChecked();
    options.invert = m_invert->isChecked();
    options.background = checkedValue(m_backgrounds);
    options.rotation = checkedValue(m_rotations);
    options.flip = checkedValue(m_flips);
    return options;
}

void ChoiceMenus::setRenderOptions(const RenderOptions& options)
{
    const QScopedValueRollback applying(m_applying, true);
    check(m_dithers, options.dither);
    m_smooth->setChecked(options.smooth);
    m_keepAspect->setChecked(options.keepAspect);
    m_invert->setChecked(options.invert);
    check(m_backgrounds, options.background);
    check(m_rotations, options.rotation);
    check(m_flips, options.flip);
}

DisplayFormat ChoiceMenus::displayFormat() const
{
    return {checkedValue(m_sizes), checkedValue(m_layouts)};
}

void ChoiceMenus::setDisplayFormat(const DisplayFormat& display)
{
    const QScopedValueRollback applying(m_applying, true);
    const bool listed = std::any_of(m_sizes.begin(), m_sizes.end(), [&](const auto& entry) {
        return entry.second == display.size;
    });
    if (!listed) {
        addSize(display.size);
    }
    check(m_sizes, display.size);
    check(m_layouts, display.layout);
}

void ChoiceMenus::onPictureChanged()
{
    if (!m_applying && oneChecked(m_dithers) && oneChecked(m_backgrounds) &&
        oneChecked(m_rotations) && oneChecked(m_flips)) {
        emit renderOptionsChosen(renderOptions());
    }
}

void ChoiceMenus::onDisplayChanged()
{
    if (!m_applying && oneChecked(m_sizes) && oneChecked(m_layouts)) {
        emit displayChosen(displayFormat());
    }
}

} // namespace pixelcast

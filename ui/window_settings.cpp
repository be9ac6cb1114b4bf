#include "window_settings.h"

#include <QSettings>

namespace pixelcast {

namespace {

const QString kFolderKey = QStringLiteral("pictureFolder");
const QString kDitherKey = QStringLiteral("picture/dither");
const QString kSmoothKey = QStringLiteral("picture/smooth");
const QString kKeepAspectKey = QStringLiteral("picture/keepAspect");
const QString kInvertKey = QStringLiteral("picture/invert");
const QString kBackgroundKey = QStringLiteral("picture/background");
const QString kRotationKey = QStringLiteral("picture/rotate");
const QString kFlipKey = QStringLiteral("picture/flip");
const QString kSizeKey = QStringLiteral("display/size");
const QString kLayoutKey = QStringLiteral("display/layout");
const QString kModuleColourKey = QStringLiteral("view/moduleColour");

} // namespace

WindowSettings readWindowSettings()
{
    const QSettings stored(QStringLiteral("Pixelcast"), QStringLiteral("Pixelcast"));
    WindowSettings result;
    result.pictureFolder = stored.value(kFolderKey).toString();
    const QByteArray dither = stored.value(kDitherKey).toString().toUtf8();
    result.renderOptions.dither =
        ditherFromName(
            std::string_view(dither.constData(), static_cast<std::size_t>(dither.size())))
            .value_or(Dither::None);
    result.renderOptions.smooth = stored.value(kSmoothKey, false).toBool();
    result.renderOptions.keepAspect = stored.value(kKeepAspectKey, false).toBool();
    result.renderOptions.invert = stored.value(kInvertKey, false).toBool();
    // Anything unreadable (edited by hand, from a later version) keeps the default.
    const auto text = [&stored](const QString& key) {
        return stored.value(key).toString().toStdString();
    };
    result.renderOptions.background =
        backgroundFromName(text(kBackgroundKey)).value_or(Background::Panel);
    result.renderOptions.rotation = rotationFromName(text(kRotationKey)).value_or(Rotation::None);
    result.renderOptions.flip = flipFromName(text(kFlipKey)).value_or(Flip::None);
    result.display.size =
        parseDisplaySize(stored.value(kSizeKey).toString().toStdString()).value_or(kDefaultDisplay);
    const ByteLayout* layout = layoutNamed(stored.value(kLayoutKey).toString().toStdString());
    result.display.layout = layout != nullptr ? layout : &verticalLayout();
    result.moduleColour =
        moduleColourFromName(text(kModuleColourKey)).value_or(ModuleColour::White);
    return result;
}

void savePictureFolder(const QString& folder)
{
    QSettings stored(QStringLiteral("Pixelcast"), QStringLiteral("Pixelcast"));
    stored.setValue(kFolderKey, folder);
}

void saveRenderOptions(const RenderOptions& options)
{
    QSettings stored(QStringLiteral("Pixelcast"), QStringLiteral("Pixelcast"));
    const std::string_view dither = ditherName(options.dither);
    stored.setValue(kDitherKey,
                    QString::fromUtf8(dither.data(), static_cast<qsizetype>(dither.size())));
    stored.setValue(kSmoothKey, options.smooth);
    stored.setValue(kKeepAspectKey, options.keepAspect);
    stored.setValue(kInvertKey, options.invert);
    const auto name = [](std::string_view text) {
        return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    };
    stored.setValue(kBackgroundKey, name(backgroundName(options.background)));
    stored.setValue(kRotationKey, name(rotationName(options.rotation)));
    stored.setValue(kFlipKey, name(flipName(options.flip)));
}

} // namespace pixelcast

namespace pixelcast {

void saveDisplayFormat(const DisplayFormat& display)
{
    QSettings stored(QStringLiteral("Pixelcast"), QStringLiteral("Pixelcast"));
    stored.setValue(kSizeKey,
                    QStringLiteral("%1x%2").arg(display.size.width).arg(display.size.height));
    stored.setValue(kLayoutKey, QString::fromLatin1(display.layout->name()));
}

} // namespace pixelcast

namespace pixelcast {

void saveModuleColour(ModuleColour colour)
{
    QSettings stored(QStringLiteral("Pixelcast"), QStringLiteral("Pixelcast"));
    const std::string_view name = moduleColourName(colour);
    stored.setValue(kModuleColourKey,
                    QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
}

} // namespace pixelcast

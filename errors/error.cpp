#include "error.h"

namespace pixelcast {

Error::Error(ErrorCode code, const QString& description)
    : std::runtime_error(description.toStdString()), m_code(code), m_description(description)
{
}

QString Error::message() const
{
    return QStringLiteral("Error %1: %2").arg(number()).arg(m_description);
}

} // namespace pixelcast

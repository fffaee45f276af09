#include "Status.h"

namespace db {

QString Status::toString() const
{
    switch (m_code) {
    case Code::Ok:
        return QStringLiteral("OK");
    case Code::NotFound:
        return QStringLiteral("Not found: ") + m_message;
    case Code::Corruption:
        return QStringLiteral("Corruption: ") + m_message;
    case Code::IoError:
        return QStringLiteral("I/O error: ") + m_message;
    case Code::Locked:
        return QStringLiteral("Locked: ") + m_message;
    case Code::Invalid:
        return QStringLiteral("Invalid: ") + m_message;
    }
    return m_message;
}

} // namespace db

#include "platform/localclock.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTime>

namespace quorvel::platform {

std::u16string LocaleClock::timeOfDayText() {
    const QLocale locale = QLocale::system();
    // The long format keeps the seconds; a zone name ("t") does not belong to a time of day.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\(?t+\\)?")));
    return locale.toString(QTime::currentTime(), format.trimmed()).toStdU16String();
}

}  // namespace quorvel::platform

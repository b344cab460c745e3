#include "optionreading.h"

#include <QCommandLineParser>
#include <QLocale>

QString OptionReading::refusal(const QCommandLineParser &parser, const QString &command)
{
    const QStringList unknown = parser.unknownOptionNames();
    if (unknown.isEmpty()) {
        return command.isEmpty() ? QStringLiteral("ошибка в командной строке: %1").arg(parser.errorText())
                                 : QStringLiteral("ошибка в параметрах %1: %2").arg(command, parser.errorText());
    }
    const QString &name = unknown.constFirst();
    const QString typed = (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
    return command.isEmpty() ? QStringLiteral("неизвестный параметр «%1»").arg(typed)
                             : QStringLiteral("неизвестный параметр команды %1 «%2»").arg(command, typed);
}

QString OptionReading::seconds(const QString &option, const QString &text, double shortest, double longest, int *msec)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    const bool longEnough = shortest > 0 ? value >= shortest : value > 0;
    if (ok && longEnough && value <= longest) {
        *msec = qMax(1, qRound(value * 1000));
        return QString();
    }
    const QString range = shortest > 0
        ? QStringLiteral(" ждёт число секунд не меньше %1 и не больше %2, а не «").arg(shortest).arg(longest)
        : QStringLiteral(" ждёт число секунд больше нуля и не больше %1, а не «").arg(longest);
    return option + range + text + QStringLiteral("»");
}

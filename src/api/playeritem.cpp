#include "playeritem.h"

#include <QTreeWidget>

#include <cmath>

namespace {

// Compares two runs of decimal digits by value, whatever their length.
int compareDigitRuns(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == QLatin1Char('0'))
        a = a.mid(1);
    while (b.size() > 1 && b.front() == QLatin1Char('0'))
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

QStringView takeRun(QStringView text, qsizetype from)
{
    const bool digits = text.at(from).isDigit();
    qsizetype end = from;
    while (end < text.size() && text.at(end).isDigit() == digits)
        ++end;
    return text.mid(from, end - from);
}

// Reads "mm:ss" or "h:mm:ss" as seconds.
bool readDuration(const QString &text, double *seconds)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3)
        return false;
    double total = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok);
        if (!ok || part.isEmpty() || !part.at(0).isDigit())
            return false;
        total = total * 60 + value;
    }
    *seconds = total;
    return true;
}

// "nan" and "inf" read as numbers too, but a nick such as "NaN" must sort
// as text: a value that equals everything would break the ordering.
bool readNumber(const QString &text, double *value)
{
    bool ok = false;
    *value = text.toDouble(&ok);
    return (ok && std::isfinite(*value)) || readDuration(text, value);
}

} // namespace

int PlayerItem::compareTexts(const QString &a, const QString &b)
{
    // Numbers (and times) come first, in order of value; mixing value and
    // text comparison between the two kinds would make the order circular.
    double aValue = 0;
    double bValue = 0;
    const bool aIsNumber = readNumber(a, &aValue);
    const bool bIsNumber = readNumber(b, &bValue);
    if (aIsNumber && bIsNumber)
        return aValue < bValue ? -1 : (bValue < aValue ? 1 : 0);
    if (aIsNumber != bIsNumber)
        return aIsNumber ? -1 : 1;

    // Otherwise walk both texts run by run: digit runs compare by value,
    // everything else as text.
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        const QStringView runA = takeRun(a, i);
        const QStringView runB = takeRun(b, j);
        const bool bothDigits = runA.front().isDigit() && runB.front().isDigit();
        const int order = bothDigits ? compareDigitRuns(runA, runB) : runA.compare(runB, Qt::CaseInsensitive);
        if (order != 0)
            return order;
        i += runA.size();
        j += runB.size();
    }
    if (i < a.size() || j < b.size())
        return i < a.size() ? 1 : -1;
    return a.compare(b);
}

bool PlayerItem::operator<(const QTreeWidgetItem &other) const
{
    const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
    return compareTexts(text(column), other.text(column)) < 0;
}

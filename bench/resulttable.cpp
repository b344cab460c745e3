#include "resulttable.h"

#include <algorithm>

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype middle = values.size() / 2;
    return values.size() % 2 ? values.at(middle) : (values.at(middle - 1) + values.at(middle)) / 2;
}

void ResultTable::add(const Row &row)
{
    m_rows << row;
}

void ResultTable::addNote(const QString &note)
{
    m_notes << note;
}

QString ResultTable::number(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

QString ResultTable::toText() const
{
    static const QString verdictTexts[] = {QStringLiteral("-"), QStringLiteral("met"), QStringLiteral("NOT MET")};
    QList<QStringList> lines;
    lines << QStringList {QStringLiteral("benchmark"), QStringLiteral("measure"), QStringLiteral("program"),
                          QStringLiteral("baseline"),  QStringLiteral("ratio"),   QStringLiteral("target"),
                          QStringLiteral("verdict")};
    for (const Row &row : m_rows) {
        lines << QStringList {
            row.benchmark, row.measure, row.program, row.baseline, row.ratio, row.target, verdictTexts[row.verdict]};
    }

    QVector<qsizetype> widths(lines.first().size(), 0);
    for (const QStringList &line : lines) {
        for (int column = 0; column < line.size(); ++column)
            widths[column] = qMax(widths[column], line.at(column).size());
    }

    QString text;
    for (int i = 0; i < lines.size(); ++i) {
        QString line;
        for (int column = 0; column < lines.at(i).size(); ++column)
            line += lines.at(i).at(column).leftJustified(widths[column] + 2);
        text += line.trimmed() + QLatin1Char('\n');
        if (i == 0)
            text += QString(line.trimmed().size(), QLatin1Char('-')) + QLatin1Char('\n');
    }
    for (const QString &note : m_notes)
        text += QStringLiteral("\n* ") + note;
    if (!m_notes.isEmpty())
        text += QLatin1Char('\n');
    return text;
}

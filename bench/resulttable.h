#pragma once

#include <QList>
#include <QString>
#include <QVector>

// The middle value of a sample; the mean of the two middle values for an
// even count, 0 for an empty one.
double median(QVector<double> values);

// The benchmark's printed table: one row per measure, the program's figure
// beside its baseline's, their ratio and the target.
class ResultTable
{
public:
    enum Verdict { NoTarget, Met, NotMet };

    struct Row
    {
        QString benchmark;
        QString measure;
        QString program;
        QString baseline;
        QString ratio;
        QString target;
        Verdict verdict = NoTarget;
    };

    void add(const Row &row);
    void addNote(const QString &note);

    // Plain text with aligned columns, then the notes.
    QString toText() const;

    static QString number(double value, int decimals = 2);
    static Verdict verdict(bool met) { return met ? Met : NotMet; }

private:
    QList<Row> m_rows;
    QStringList m_notes;
};

#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>

class HistoryAccess;
class HistoryChartView;
class QButtonGroup;
class QCheckBox;
class QLabel;
class QListView;
class QTimer;
class ServerListModel;
struct HistorySnapshot;

// The window "История": every server at a glance on the left, the chosen
// one's chart on the right, over 24 hours, 7 or 30 days. It reads the
// history off the GUI thread and reads it again as new samples come in.
// Closing it only hides it.
class HistoryWindow : public QWidget
{
    Q_OBJECT

public:
    // The stored servers' names, in the window's order.
    using StoredNames = std::function<QStringList()>;

    HistoryWindow(HistoryAccess *access, StoredNames stored, QWidget *parent = nullptr);

    // Shows the window, or brings it forward, with `server` chosen.
    void showFor(const QString &server);
    void setRecordAll(bool on);

    qint64 period() const;
    QString chosenServer() const { return chosen; }

signals:
    void recordAllToggled(bool on);
    // A reading has been shown; for tests and measurements.
    void shown();

private:
    void choose(const QString &server);
    void reload();
    void display(const HistorySnapshot &snapshot, quint64 reading);
    void showProblem(const QString &text);

    HistoryAccess *access;
    StoredNames stored;
    QString chosen;
    quint64 readings = 0; // readings asked for; only the latest is shown

    QButtonGroup *periods;
    QCheckBox *recordAll;
    QListView *list;
    ServerListModel *model;
    HistoryChartView *chart;
    QLabel *problem;
    QTimer *newSamples;
};

#include "historywindow.h"

#include "history/historyaccess.h"
#include "history/historychartview.h"
#include "history/historysnapshot.h"
#include "history/serverlistdelegate.h"
#include "history/serverlistmodel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListView>
#include <QRadioButton>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr qint64 day = 86400;
// New samples come in bursts (status, then resources): read once after them.
constexpr int newSamplesDelayMsec = 300;

} // namespace

HistoryWindow::HistoryWindow(HistoryAccess *access, StoredNames stored, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , access(access)
    , stored(std::move(stored))
    , periods(new QButtonGroup(this))
    , recordAll(new QCheckBox(tr("Записывать все серверы"), this))
    , list(new QListView(this))
    , model(new ServerListModel(this))
    , chart(new HistoryChartView(this))
    , problem(new QLabel(this))
    , newSamples(new QTimer(this))
{
    setObjectName(QStringLiteral("historyWindow"));
    setWindowTitle(tr("История"));
    resize(960, 560);

    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(tr("Период:"), this));
    const std::pair<qint64, QString> choices[] = {
        {day, tr("24 часа")},
        {7 * day, tr("7 дней")},
        {30 * day, tr("30 дней")},
    };
    for (const auto &[seconds, text] : choices) {
        auto *button = new QRadioButton(text, this);
        periods->addButton(button, int(seconds / day));
        top->addWidget(button);
    }
    periods->button(1)->setChecked(true);
    top->addStretch();
    recordAll->setObjectName(QStringLiteral("recordAll"));
    recordAll->setToolTip(tr("Раз в минуту спрашивать состояние каждого сохранённого сервера и записывать его"));
    top->addWidget(recordAll);

    list->setObjectName(QStringLiteral("historyServers"));
    list->setModel(model);
    list->setItemDelegate(new ServerListDelegate(list));
    list->setUniformItemSizes(true);
    list->setMinimumWidth(330);
    auto *split = new QSplitter(this);
    split->addWidget(list);
    split->addWidget(chart);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);

    problem->setObjectName(QStringLiteral("historyProblem"));
    problem->setStyleSheet(QStringLiteral("color: rgb(170, 0, 0);"));
    problem->setWordWrap(true);
    problem->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(split, 1);
    layout->addWidget(problem);
    setTabOrder(periods->button(1), periods->button(7));
    setTabOrder(periods->button(7), periods->button(30));
    setTabOrder(periods->button(30), recordAll);
    setTabOrder(recordAll, list);

    connect(periods, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            reload();
    });
    connect(recordAll, &QCheckBox::toggled, this, &HistoryWindow::recordAllToggled);
    connect(list->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (current.isValid() && current.data().toString() != chosen) {
            chosen = current.data().toString();
            reload();
        }
    });
    newSamples->setSingleShot(true);
    newSamples->setInterval(newSamplesDelayMsec);
    connect(newSamples, &QTimer::timeout, this, &HistoryWindow::reload);
    connect(access, &HistoryAccess::recorded, this, [this] {
        if (isVisible())
            newSamples->start();
    });
    connect(access, &HistoryAccess::problemChanged, this, &HistoryWindow::showProblem);
    showProblem(access->problem());
}

void HistoryWindow::showFor(const QString &server)
{
    choose(server);
    reload();
    QWidget::show();
    raise();
    activateWindow();
}

void HistoryWindow::setRecordAll(bool on)
{
    const QSignalBlocker quiet(recordAll);
    recordAll->setChecked(on);
}

qint64 HistoryWindow::period() const
{
    return periods->checkedId() * day;
}

void HistoryWindow::choose(const QString &server)
{
    chosen = server;
    const int row = model->rowOf(server);
    if (row >= 0) {
        const QSignalBlocker quiet(list->selectionModel());
        list->setCurrentIndex(model->index(row));
    }
}

void HistoryWindow::reload()
{
    const quint64 reading = ++readings;
    const QStringList names = stored();
    const QString server = chosen.isEmpty() && !names.isEmpty() ? names.constFirst() : chosen;
    const qint64 now = access->now();
    const qint64 seconds = period();
    access->read<HistorySnapshot>(
        [names, server, now, seconds](const QString &path) {
            return HistorySnapshot::read(path, names, server, now, seconds);
        },
        [this, reading](const HistorySnapshot &snapshot) { display(snapshot, reading); });
}

void HistoryWindow::display(const HistorySnapshot &snapshot, quint64 reading)
{
    if (reading != readings)
        return; // a later one is on its way
    model->setRows(snapshot.rows, snapshot.to);
    chosen = snapshot.server;
    choose(chosen);
    chart->setHistory(snapshot.server, snapshot.steps, snapshot.step);
    if (!snapshot.problem.isEmpty())
        showProblem(snapshot.problem);
    else
        showProblem(access->problem());
    emit shown();
}

void HistoryWindow::showProblem(const QString &text)
{
    problem->setText(text);
    problem->setVisible(!text.isEmpty());
}

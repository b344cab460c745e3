#include "eventwait.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

bool waitUntil(const std::function<bool()> &done, int msec)
{
    if (done())
        return true;
    const QDeadlineTimer deadline(msec);
    QEventLoop loop;
    QTimer look;
    look.setInterval(1);
    bool reached = false;
    QObject::connect(&look, &QTimer::timeout, &loop, [&] {
        reached = done();
        if (reached || deadline.hasExpired())
            loop.quit();
    });
    look.start();
    loop.exec();
    return reached;
}

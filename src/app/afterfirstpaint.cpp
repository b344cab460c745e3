#include "afterfirstpaint.h"

#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <utility>

AfterFirstPaint::AfterFirstPaint(QWidget *window, std::function<void()> call)
    : QObject(window)
    , window(window)
    , call(std::move(call))
{
    window->installEventFilter(this);
    // By the event loop's first turn a window that is to be seen has been shown.
    QTimer::singleShot(0, this, [this] {
        if (!this->window->isVisible() || this->window->isMinimized())
            callNow();
    });
}

bool AfterFirstPaint::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == window && call) {
        switch (event->type()) {
        // After this paint pass, so that the children are drawn and the
        // picture is on screen; or after a hiding, which paints nothing.
        case QEvent::Paint:
        case QEvent::Hide:
            callSoon();
            break;
        case QEvent::WindowStateChange:
            if (window->isMinimized())
                callSoon();
            break;
        default:
            break;
        }
    }
    return false;
}

void AfterFirstPaint::callSoon() const
{
    QTimer::singleShot(0, this, &AfterFirstPaint::callNow);
}

void AfterFirstPaint::callNow()
{
    if (!call)
        return;
    window->removeEventFilter(this);
    std::exchange(call, nullptr)();
}

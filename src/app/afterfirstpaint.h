#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Calls a function once, right after a window's first paint, so that work
// the first picture does not need waits until the window is on screen. A
// window that is not shown when the event loop first runs, or is hidden or
// minimised before it paints, gets the call then, without waiting.
class AfterFirstPaint : public QObject
{
    Q_OBJECT

public:
    // Owned by `window`.
    AfterFirstPaint(QWidget *window, std::function<void()> call);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void callNow();
    void callSoon() const;

    QWidget *window;
    std::function<void()> call;
};

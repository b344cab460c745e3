// The text floor probe: a fixed main window of the program's size showing
// one line of text, with no TLS: the least a window with text has to do
// before it is on screen.

#include "probe.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    const ProbeRequest request = ProbeRequest::fromArguments(QApplication::arguments());

    QMainWindow window;
    window.setFixedSize(608, 432);
    new QLabel(QStringLiteral("Состояние неизвестно"), &window);
    return runProbe(window, request, sinceMain);
}

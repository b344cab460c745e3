// The floor probe: an empty main window that also shows one line of text and
// loads the TLS backend, the two costs that any window with text speaking
// HTTPS pays before it does anything of its own.

#include "probe.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QSslSocket>

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    const ProbeRequest request = ProbeRequest::fromArguments(QApplication::arguments());

    QMainWindow window;
    new QLabel(QStringLiteral("Состояние неизвестно"), &window);
    new QSslSocket(&window);
    return runProbe(window, request, sinceMain);
}

// The baseline probe: an empty main window, with nothing of the program's
// own linked in.

#include "probe.h"

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    QApplication app(argc, argv);
    const ProbeRequest request = ProbeRequest::fromArguments(QApplication::arguments());

    QMainWindow window;
    return runProbe(window, request, sinceMain);
}

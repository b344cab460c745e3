// The baseline of the start-up measured under Wine (scripts/bench-windows.sh):
// an empty main window of the program's size, built like the program and
// run from the same folder, with nothing of the program's own linked in.

#include <QApplication>
#include <QMainWindow>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("valmora-bench-empty"));
    window.setFixedSize(608, 432);
    window.show();
    return QApplication::exec();
}

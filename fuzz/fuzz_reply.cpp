// Hands any body to the main window as the reply to a query, the way a
// finished request is handled. The first byte picks the query kind from
// Kinds (modulo its size, so the seed files start with a digit '0' to '7'),
// the rest is the body.

#include "app/mainwindow.h"
#include "core/settings/settingslocation.h"

#include <QApplication>
#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

const QStringList Kinds = {
    QStringLiteral("status"),     QStringLiteral("start"),        QStringLiteral("stop"),
    QStringLiteral("restart"),    QStringLiteral("changelevel"),  QStringLiteral("getmaps"),
    QStringLiteral("consolecmd"), QStringLiteral("getresources"),
};

// One application and one window for the whole run: building a window per
// input would drown the replies in widget set-up. Neither is deleted, so
// nothing is torn down while libFuzzer is exiting.
QApplication *application = nullptr;
MainWindow *window = nullptr;

void ignoreMessages(QtMsgType, const QMessageLogContext &, const QString &)
{
    // The offscreen platform has no tray and says so.
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(ignoreMessages);

    // Qt gets only the program name; the rest of the command line is libFuzzer's.
    static int qtArgc = 1;
    static char *qtArgv[] = {*argc > 0 ? (*argv)[0] : nullptr, nullptr};
    application = new QApplication(qtArgc, qtArgv);

    // No setting.ini is read from, or left beside, the fuzzer.
    static QTemporaryDir settingsFolder;
    SettingsLocation::setDirectory(settingsFolder.path());
    window = new MainWindow;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QString &kind = Kinds.at(data[0] % Kinds.size());
    const QByteArray body(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    window->handleReply(kind, body);
    // What the event loop does next in the program: the players list sorts
    // itself, widgets lay themselves out.
    QCoreApplication::processEvents();
    return 0;
}

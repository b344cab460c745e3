#include "console.h"

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

void Console::useUtf8()
{
#ifdef Q_OS_WIN
    SetConsoleOutputCP(CP_UTF8);
#endif
}

void Console::print(const QString &text)
{
    printBytes(text.toUtf8());
}

void Console::printBytes(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

void Console::printError(const QString &text)
{
    // One line, whatever the text holds.
    QString line = text;
    line.replace(QLatin1Char('\n'), QLatin1String("; "));
    const QByteArray bytes = "valmora-ctl: " + line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

int Console::fail(int exitCode, const QString &text)
{
    printError(text);
    return exitCode;
}

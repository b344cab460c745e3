#include "secretinput.h"

#include <QByteArray>

#include <cstdio>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// Turns the terminal's echo off for its lifetime, when standard input is one.
class HiddenTyping
{
public:
    HiddenTyping()
    {
#ifdef Q_OS_WIN
        input = GetStdHandle(STD_INPUT_HANDLE);
        if (GetConsoleMode(input, &saved))
            hidden = SetConsoleMode(input, saved & ~DWORD(ENABLE_ECHO_INPUT)) != 0;
#else
        if (::tcgetattr(STDIN_FILENO, &saved) == 0) {
            termios quiet = saved;
            quiet.c_lflag &= ~tcflag_t(ECHO);
            hidden = ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
        }
#endif
    }

    ~HiddenTyping()
    {
        if (!hidden)
            return;
#ifdef Q_OS_WIN
        SetConsoleMode(input, saved);
#else
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
#endif
    }

    HiddenTyping(const HiddenTyping &) = delete;
    HiddenTyping &operator=(const HiddenTyping &) = delete;

    bool isTerminal() const
    {
        return hidden;
    }

private:
    bool hidden = false;
#ifdef Q_OS_WIN
    HANDLE input = nullptr;
    DWORD saved = 0;
#else
    termios saved {};
#endif
};

} // namespace

QString readSecretLine(const QString &prompt)
{
    const HiddenTyping hiddenTyping;
    if (hiddenTyping.isTerminal()) {
        std::fputs(prompt.toUtf8().constData(), stderr);
        std::fflush(stderr);
    }

    QByteArray bytes;
    for (int c = std::getchar(); c != EOF && c != '\n'; c = std::getchar())
        bytes.append(char(c));
    if (hiddenTyping.isTerminal())
        std::fputs("\n", stderr); // the Return typed was not shown
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    return QString::fromUtf8(bytes);
}

#pragma once

#include <QString>
#include <QStringList>

// The program's command line: --settings FILE, --help, --version, and Qt's
// own options (-platform, -style, ...), which are left to QApplication.
// It is read before any window exists, so that help, the version and a
// mistaken option are answered on the terminal without a display.
class CommandLine
{
public:
    // The arguments as the program got them, its own name first.
    explicit CommandLine(const QStringList &arguments);

    // True when the run ends with an answer on the terminal: help, the
    // version, or a mistake.
    bool answersItself() const;
    // Prints that answer (help and version to standard output, a mistake to
    // standard error) and returns the exit code. Needs the application
    // object, for the program's folder named in the help.
    int answer() const;

    // The file named with --settings, made absolute; empty when none was.
    QString settingsFile() const;

private:
    enum class Request { Window, Help, Version, Mistake };

    QString helpText() const;

    Request request = Request::Window;
    QString settingsPath;
    QString mistake;
};

#pragma once

#include <QString>

class QCommandLineParser;

// What both programs' command lines have alike: --help, --version, and
// --settings FILE, whose description ends with the settings file in use.
namespace CommonOptions {

// Names the program and its version for QCoreApplication (the version
// printed, the per-user folder's name). Call first thing in main().
void identify(const char *programName);

// Adds --help, --version and --settings FILE to the parser. The file in use
// is put in after `settingsDescription` when the help is written.
void add(QCommandLineParser &parser, const QString &settingsDescription);

enum class Request { Run, Help, Version };
// What the parsed command line asks for first: help, the version, or a run.
Request request(const QCommandLineParser &parser);

enum class Settings { NotGiven, Given, Empty };
// The --settings file, made absolute into `file` when given and not empty.
Settings settingsFile(const QCommandLineParser &parser, QString *file);

// The parser's help, with `fileInUse` (or, when that is empty, the file the
// usual rules choose) named in the description of --settings. The name is
// put in after the text is wrapped into lines, so that a long path is never
// broken in two.
QString helpText(const QCommandLineParser &parser, const QString &fileInUse);

// "valmora-panel 1.0" and a line end.
QString versionLine();

} // namespace CommonOptions

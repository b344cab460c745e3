#pragma once

#include <QString>

class QCommandLineParser;

// What valmora-ctl's own options and those of its commands share: how a
// refused option is worded and how a number of seconds is read.
namespace OptionReading {

// Why `parser` refused the words: an unknown option by its name as typed
// (--name, -n), otherwise Qt's own text. `command` names the command whose
// options they are; empty for the program's own.
QString refusal(const QCommandLineParser &parser, const QString &command = QString());

// Reads the SECONDS given to `option` (a point before any decimals) into
// `msec`, at least 1: more than zero, and at least `shortest` when that is
// above zero; at most `longest`. Returns the mistake in Russian, or an
// empty text.
QString seconds(const QString &option, const QString &text, double shortest, double longest, int *msec);

} // namespace OptionReading

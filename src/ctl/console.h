#pragma once

#include <QByteArray>
#include <QString>

// Standard output and error of the command-line tool, in UTF-8.
namespace Console {

// Makes a Windows console show UTF-8 as such; nothing elsewhere.
void useUtf8();

void print(const QString &text); // standard output, as it is
void printBytes(const QByteArray &bytes); // standard output, unchanged
// One line on standard error: "valmora-ctl: TEXT".
void printError(const QString &text);
// printError(), then `exitCode` back, for a command that ends on a failure.
int fail(int exitCode, const QString &text);

} // namespace Console

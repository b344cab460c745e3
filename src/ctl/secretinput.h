#pragma once

#include <QString>

// Reads a secret, such as an API key, from standard input: its first line,
// without the line end. At a terminal it asks for it on standard error and
// does not show what is typed. Empty when nothing was given.
QString readSecretLine(const QString &prompt);

#pragma once

#include <QString>

// Prepares a settings file for the control panel that lists the stand-in
// hosting service's three demo servers and points the panel at that service.
namespace DemoSettings {

// Sets, in the INI file at `iniPath`:
// - [Main] host = `host` ("name:port"), cacert = `caCertificatePath` made
//   absolute, and debug = true so that console answers are visible;
// - [Servers] one entry per demo server, its API key enciphered under this
//   machine's key.
// Everything else in the file (the console history, other servers) stays.
// Returns an error text, empty on success.
QString write(const QString &iniPath, const QString &host, const QString &caCertificatePath);

} // namespace DemoSettings

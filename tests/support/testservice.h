#pragma once

#include "serviceprocess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The stand-in hosting service as a test reaches it. The environment may
// name one that runs already: VALMORA_TEST_SERVICE=127.0.0.1:PORT and
// VALMORA_TEST_SERVICE_CA=<its certificate>. The service runs on Linux
// only, so the Windows build of a test always reaches one that way
// (scripts/check-windows.sh starts it as the test would); built for Linux,
// a test starts its own unless one is named.
class TestService
{
public:
    // A service started here keeps its certificate in a folder of its own.
    TestService();

    // Whether open() can give a service: the environment names one, or this
    // build can start one. When not, why not, for a skip.
    static bool isAvailable();
    static const char *unavailableText();

    // The named service, or else one started here with `extraArguments`
    // added to ServiceProcess's. Returns an error text, empty on success.
    QString open(const QStringList &extraArguments = {});
    // Ends a service started here and returns an error text when it did not
    // end cleanly; a named one is left running for whoever started it.
    QString close();

    bool isStartedHere() const { return m_startedHere; }
    QString host() const { return m_host; }
    QString certificatePath() const { return m_certificate; }

private:
    QTemporaryDir m_folder;
    ServiceProcess m_process;
    bool m_startedHere = false;
    QString m_host;
    QString m_certificate;
};

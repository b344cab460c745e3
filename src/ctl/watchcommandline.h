#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

// What `valmora-ctl watch` was asked to do.
struct WatchRequest
{
    int intervalMsec = 60000;
    QString command; // run through the shell at each alert; empty: none
    QUrl webhook; // where each alert is posted; empty: nowhere
    QStringList servers; // empty: every stored server, followed as the file changes
    bool history = true; // false: nothing recorded and nothing more asked (--no-history)
};

// Reads watch's own arguments, those after the word "watch":
// [--interval SECONDS] [--exec COMMAND] [--webhook URL] [--no-history]
// [SERVER...], with
// VALMORA_WEBHOOK standing for a missing --webhook. Returns the mistake in
// Russian, or an empty text.
QString readWatchArguments(const QStringList &arguments, WatchRequest *watch);

// The options' part of valmora-ctl --help.
QString watchHelp();

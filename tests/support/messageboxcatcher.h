#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Closes every message box that opens while it lives and keeps their texts,
// so that a test can check what the user was told without a modal loop
// holding it up.
class MessageBoxCatcher : public QObject
{
public:
    MessageBoxCatcher()
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts << box->text();
            box->close();
        });
        poll.start(10);
    }

    QStringList texts;

private:
    QTimer poll;
};

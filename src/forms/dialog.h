#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class Dialog;
}

// Asks for a new server's name and API key. On OK it offers both through
// serverEntered(); whoever opened it decides what to do with them.
class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

signals:
    // The texts as typed; they stay in the fields for the next opening.
    void serverEntered(const QString &name, const QString &key);

private slots:
    // Offers the typed server; runs on OK.
    void addServer();

private:
    Ui::Dialog *ui;
};

#pragma once

#include <QDialog>

namespace Ui {
class Dialog;
}

// Asks for a new server's name and API key. On OK it hands both to the
// main window, which must be this dialog's parent.
class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

private slots:
    void addServer();

private:
    Ui::Dialog *ui;
};

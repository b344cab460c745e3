#include "dialog.h"
#include "ui_dialog.h"

#include "app/mainwindow.h"

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Dialog)
{
    ui->setupUi(this);
    // accepted() comes after the dialog has hidden itself, so the server is
    // added only on OK; Cancel, Escape and the close button add nothing.
    connect(this, &QDialog::accepted, this, &Dialog::addServer);
}

Dialog::~Dialog()
{
    delete ui;
}

void Dialog::addServer()
{
    auto *window = qobject_cast<MainWindow *>(parentWidget());
    if (!window)
        return;
    // The texts go over as typed and stay in the fields for the next opening.
    const QString token = ui->lineEdit_2->text();
    const QString name = ui->lineEdit->text();
    window->addServer(name, token);
}

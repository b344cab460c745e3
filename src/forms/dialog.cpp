#include "dialog.h"
#include "ui_dialog.h"

Dialog::Dialog(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::Dialog)
{
    ui->setupUi(this);
    // accepted() comes after the dialog has hidden itself, so the server is
    // offered only on OK; Cancel, Escape and the close button offer nothing.
    connect(this, &QDialog::accepted, this, &Dialog::addServer);
}

Dialog::~Dialog()
{
    delete ui;
}

void Dialog::addServer()
{
    emit serverEntered(ui->lineEdit->text(), ui->lineEdit_2->text());
}

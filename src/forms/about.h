#pragma once

#include <QDialog>

namespace Ui {
class About;
}

// The "About" box: program name, version, makers and links.
class About : public QDialog
{
    Q_OBJECT

public:
    explicit About(QWidget *parent = nullptr);
    ~About() override;

private:
    Ui::About *ui;
};

// The server list, the settings file and the console history.

#include "app/mainwindow.h"

#include "core/crypto/machinecipher.h"
#include "core/crypto/machinekey.h"
#include "core/settings/privatefile.h"
#include "core/settings/settingsfile.h"
#include "core/settings/settingslocation.h"
#include "ui_mainwindow.h"

#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>
#include <QStatusBar>

using SettingsFile::mainGroup;
using SettingsFile::serversGroup;

namespace {

bool readFlag(const QString &text)
{
    const QString lower = text.toLower();
    return !(lower.isEmpty() || lower == QLatin1String("0") || lower == QLatin1String("false"));
}

} // namespace

QString MainWindow::getMacAddress()
{
    return firstHardwareAddress();
}

void MainWindow::readSettings()
{
    servers.clear();
    serverSync = ServerSync();

    // A file that others could use at the last run is theirs no longer.
    PrivateFile::restrictExisting(SettingsLocation::filePath());
    QSettings settings(SettingsLocation::filePath(), QSettings::IniFormat);

    settings.beginGroup(mainGroup);
    if (readFlag(settings.value(QStringLiteral("debug"), QStringLiteral("0")).toString())) {
        setMaximumSize(608, 557);
        resize(608, 557);
    }
    ui->comboBox_3->insertItems(ui->comboBox_3->count(), settings.value(QStringLiteral("cmd")).toStringList());

    // The certificates are parsed with the TLS set-up, after the first paint.
    QStringList problems = apiEndpoint.configure(settings, ApiEndpoint::CertificateParsing::Later);
    settings.endGroup();

    settings.beginGroup(serversGroup);
    MachineCipher cipher(getMacAddress());
    serverSync.takeIn(SettingsFile::records(settings), cipher, &servers);
    settings.endGroup();

    if (serverSync.unreadableCount() > 0) {
        problems << tr("Ключи API не прочитаны (серверов: %1). Добавьте эти серверы заново с их ключами.")
                        .arg(serverSync.unreadableCount());
    }
    for (const QString &problem : qAsConst(problems)) {
        qWarning("%s", qUtf8Printable(problem));
        statusBar()->showMessage(problem);
    }

    reloadComboBox();
}

void MainWindow::saveSettings()
{
    QStringList history;
    for (int i = 0; i < ui->comboBox_3->count(); ++i)
        history << ui->comboBox_3->itemText(i);

    const QString selected = ui->comboBox->currentText();
    const QString selectedKey = servers.value(selected);
    MachineCipher cipher(getMacAddress());
    bool listChanged = false;
    QMap<QString, QString> written;

    const QString path = SettingsLocation::filePath();
    const SettingsFile::Outcome outcome = SettingsFile::update(path, [&](QSettings &settings, bool current) {
        settings.beginGroup(mainGroup);
        settings.setValue(QStringLiteral("cmd"), history);
        settings.endGroup();

        settings.beginGroup(serversGroup);
        // What other programs changed since the last look comes in first,
        // so that this save neither drops their servers nor brings back
        // one they removed.
        if (current)
            listChanged = serverSync.takeIn(SettingsFile::records(settings), cipher, &servers);
        else
            serverSync.fileLost();
        serverSync.writeOut(settings, cipher, servers);
        written = SettingsFile::records(settings);
        settings.endGroup();
    });

    if (!outcome.privacyProblem.isEmpty()) {
        qWarning("The settings file may be readable by other users: %s", qUtf8Printable(outcome.privacyProblem));
        statusBar()->showMessage(tr("Файл настроек может быть доступен другим пользователям: %1").arg(path));
    }
    if (outcome.written()) {
        serverSync.saved(written);
    } else {
        qWarning("Cannot write the settings file %s: %s", qUtf8Printable(path), qUtf8Printable(outcome.failure));
        warnUser(tr("Настройки не сохранены"),
                 tr("Не удалось записать файл настроек\n%1\n\nПричина: %2.").arg(path, outcome.failure));
    }
    if (listChanged)
        showServerList(selected, selectedKey);
}

void MainWindow::takeInSettingsChanges()
{
    const QString path = SettingsLocation::filePath();
    if (!QFileInfo::exists(path)) {
        // Removed by hand, say: the window keeps its list and writes it
        // anew at its next save.
        serverSync.fileLost();
        return;
    }
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError)
        return;
    settings.beginGroup(serversGroup);
    const QString selected = ui->comboBox->currentText();
    const QString selectedKey = servers.value(selected);
    MachineCipher cipher(getMacAddress());
    if (serverSync.takeIn(SettingsFile::records(settings), cipher, &servers))
        showServerList(selected, selectedKey);
}

void MainWindow::reloadComboBox()
{
    ui->comboBox->clear();
    ui->comboBox->insertItems(0, servers.keys());
}

void MainWindow::showServerList(const QString &selected, const QString &selectedKey)
{
    const bool selectionKept = servers.contains(selected);
    {
        const QSignalBlocker quiet(ui->comboBox);
        ui->comboBox->clear();
        ui->comboBox->insertItems(0, servers.keys());
        ui->comboBox->setCurrentIndex(selectionKept ? ui->comboBox->findText(selected) : -1);
    }
    if (!selectionKept && !servers.isEmpty()) {
        // As after a deletion here: the first server is shown.
        ui->comboBox->setCurrentIndex(0);
    } else if (selectionKept && servers.value(selected) != selectedKey) {
        fullUpdate();
    }
}

void MainWindow::addServer(QString name, QString token)
{
    if (!SettingsFile::isStorableName(name)) {
        warnUser(tr("Сервер не добавлен"),
                 name.isEmpty() ? tr("Введите название сервера.")
                                : tr("Название сервера не может содержать символы «/» и «\\»."));
        return;
    }
    servers.insert(name, token);
    serverSync.changed(name);
    reloadComboBox();
    saveSettings();
}

void MainWindow::deleteServer()
{
    const QString name = ui->comboBox->currentText();
    const bool removed = servers.remove(name) > 0;
    reloadComboBox();
    if (removed) {
        serverSync.changed(name);
        saveSettings();
    }
}

void MainWindow::warnUser(const QString &title, const QString &text)
{
    QMessageBox::warning(this, title, text);
}

// The server list, the settings file and the console history.

#include "mainwindow.h"

#include "machinekey.h"
#include "privatefile.h"
#include "settingslocation.h"
#include "stringcipher.h"
#include "ui_mainwindow.h"

#include <QMessageBox>
#include <QSet>
#include <QSettings>
#include <QStatusBar>

namespace {

const QString mainGroup = QStringLiteral("Main");
const QString serversGroup = QStringLiteral("Servers");

bool readFlag(const QString &text)
{
    const QString lower = text.toLower();
    return !(lower.isEmpty() || lower == QLatin1String("0") || lower == QLatin1String("false"));
}

// A name becomes a key of the INI file as it stands: an empty one is dropped
// by the settings class and a slash or backslash makes a subgroup, so such
// names could not be read back.
bool isStorableName(const QString &name)
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'));
}

QString describeStatus(QSettings::Status status)
{
    switch (status) {
    case QSettings::AccessError:
        return QObject::tr("файл недоступен для записи");
    case QSettings::FormatError:
        return QObject::tr("ошибка формата файла");
    case QSettings::NoError:
        break;
    }
    return QString();
}

StringCipher machineCipher(const QString &hardwareAddress)
{
    return StringCipher(quint64(machineKeyFromAddress(hardwareAddress)));
}

// Keys written while another adapter came first in the system's list are
// enciphered under that adapter's address. The ciphers for the machine's
// other interfaces are made when the first record needs them.
class KeyRecovery
{
public:
    explicit KeyRecovery(quint64 machineKey)
        : machineKey(machineKey)
    { }

    // Deciphers a record whose integrity check failed under the machine key.
    bool decipher(const QString &record, QString *token)
    {
        if (!ciphersMade) {
            QSet<quint64> keys {machineKey};
            const QStringList addresses = otherHardwareAddresses();
            for (const QString &address : addresses) {
                const quint64 key = machineKeyFromAddress(address);
                if (!keys.contains(key)) {
                    keys.insert(key);
                    ciphers.append(StringCipher(key));
                }
            }
            ciphersMade = true;
        }
        for (StringCipher &cipher : ciphers) {
            const QString text = cipher.decipherText(record);
            if (cipher.lastError() == StringCipher::ErrorNone) {
                *token = text;
                return true;
            }
        }
        return false;
    }

private:
    quint64 machineKey;
    bool ciphersMade = false;
    QList<StringCipher> ciphers;
};

} // namespace

QString MainWindow::getMacAddress()
{
    return firstHardwareAddress();
}

void MainWindow::readSettings()
{
    servers.clear();
    undecipheredRecords.clear();

    QSettings settings(SettingsLocation::filePath(), QSettings::IniFormat);

    settings.beginGroup(mainGroup);
    if (readFlag(settings.value(QStringLiteral("debug"), QStringLiteral("0")).toString())) {
        setMaximumSize(608, 557);
        resize(608, 557);
    }
    ui->comboBox_3->insertItems(ui->comboBox_3->count(), settings.value(QStringLiteral("cmd")).toStringList());

    QStringList problems;
    const QString hostEntry = settings.value(QStringLiteral("host")).toString();
    if (!hostEntry.isEmpty()) {
        const QString problem = apiEndpoint.setHostEntry(hostEntry);
        if (!problem.isEmpty())
            problems << tr("Неверный адрес API «%1»: %2").arg(hostEntry, problem);
    }
    const QString caFile = settings.value(QStringLiteral("cacert")).toString();
    if (!caFile.isEmpty()) {
        const QString problem = apiEndpoint.loadCaCertificates(caFile);
        if (!problem.isEmpty())
            problems << tr("Не удалось прочитать сертификаты «%1»: %2").arg(caFile, problem);
    }
    settings.endGroup();

    settings.beginGroup(serversGroup);
    const quint64 machineKey = machineKeyFromAddress(getMacAddress());
    StringCipher cipher(machineKey);
    KeyRecovery recovery(machineKey);
    const QStringList names = settings.childKeys();
    for (const QString &name : names) {
        const QString record = settings.value(name).toString();
        QString token = cipher.decipherText(record);
        // A record of this machine deciphers cleanly; anything else (another
        // machine's key, a hand-edited value) is kept as it is for the save.
        bool deciphered
            = cipher.lastError() == StringCipher::ErrorNone && QByteArray::fromBase64(record.toLatin1()).size() >= 3;
        // Only a failed integrity check says that the record is ours under
        // another key; one without a check would open under any key.
        if (!deciphered && cipher.lastError() == StringCipher::ErrorIntegrityFailed)
            deciphered = recovery.decipher(record, &token);
        if (!deciphered)
            undecipheredRecords.insert(name, record);
        servers.insert(name, token);
    }
    settings.endGroup();

    if (!undecipheredRecords.isEmpty()) {
        problems << tr("Ключи API не прочитаны (серверов: %1). Добавьте эти серверы заново с их ключами.")
                        .arg(undecipheredRecords.size());
    }
    for (const QString &problem : qAsConst(problems)) {
        qWarning("%s", qPrintable(problem));
        statusBar()->showMessage(problem);
    }

    reloadComboBox();
}

void MainWindow::saveSettings()
{
    const QString path = SettingsLocation::filePath();
    const QString privacyProblem = PrivateFile::prepare(path);
    if (!privacyProblem.isEmpty()) {
        qWarning("The settings file may be readable by other users: %s", qPrintable(privacyProblem));
        statusBar()->showMessage(tr("Файл настроек может быть доступен другим пользователям: %1").arg(path));
    }
    QSettings settings(path, QSettings::IniFormat);

    QStringList history;
    for (int i = 0; i < ui->comboBox_3->count(); ++i)
        history << ui->comboBox_3->itemText(i);
    settings.beginGroup(mainGroup);
    settings.setValue(QStringLiteral("cmd"), history);
    settings.endGroup();

    settings.beginGroup(serversGroup);
    // The group holds exactly the servers in memory: deleted ones go.
    // Subgroups are not servers of ours and are left alone.
    const QStringList storedNames = settings.childKeys();
    for (const QString &name : storedNames) {
        if (!servers.contains(name))
            settings.remove(name);
    }
    StringCipher cipher = machineCipher(getMacAddress());
    for (auto it = servers.cbegin(); it != servers.cend(); ++it) {
        const auto kept = undecipheredRecords.constFind(it.key());
        settings.setValue(it.key(),
                          kept != undecipheredRecords.cend() ? kept.value() : cipher.encipherText(it.value()));
    }
    settings.endGroup();

    settings.sync();
    if (settings.status() != QSettings::NoError) {
        const QString reason = describeStatus(settings.status());
        qWarning("Cannot write the settings file %s: %s", qPrintable(settings.fileName()), qPrintable(reason));
        warnUser(tr("Настройки не сохранены"),
                 tr("Не удалось записать файл настроек\n%1\n\nПричина: %2.").arg(settings.fileName(), reason));
    }
}

void MainWindow::reloadComboBox()
{
    ui->comboBox->clear();
    ui->comboBox->insertItems(0, servers.keys());
}

void MainWindow::addServer(QString name, QString token)
{
    if (!isStorableName(name)) {
        warnUser(tr("Сервер не добавлен"),
                 name.isEmpty() ? tr("Введите название сервера.")
                                : tr("Название сервера не может содержать символы «/» и «\\»."));
        return;
    }
    servers.insert(name, token);
    undecipheredRecords.remove(name);
    reloadComboBox();
    saveSettings();
}

void MainWindow::deleteServer()
{
    const QString name = ui->comboBox->currentText();
    const bool removed = servers.remove(name) > 0;
    undecipheredRecords.remove(name);
    reloadComboBox();
    if (removed)
        saveSettings();
}

void MainWindow::warnUser(const QString &title, const QString &text)
{
    QMessageBox::warning(this, title, text);
}

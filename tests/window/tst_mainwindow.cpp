// The main window as a whole: its slot table, its fixed face, the dialogs,
// the tray icon and the refresh timer.

#include "app/mainwindow.h"
#include "core/settings/settingslocation.h"
#include "forms/about.h"
#include "forms/dialog.h"
#include "messageboxcatcher.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>

class MainWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;

    template<typename T> static T *child(const QObject *parent, const char *name)
    {
        T *found = parent->findChild<T *>(QString::fromLatin1(name));
        if (!found)
            qFatal("no child %s", name);
        return found;
    }

    static QSystemTrayIcon *trayOf(const MainWindow &window)
    {
        return window.findChild<QSystemTrayIcon *>(QString(), Qt::FindDirectChildrenOnly);
    }

    void writeSettings(const QString &group, const QString &key, const QVariant &value)
    {
        QSettings settings(SettingsLocation::filePath(), QSettings::IniFormat);
        settings.setValue(group + QLatin1Char('/') + key, value);
    }

private slots:
    void init()
    {
        QVERIFY(folder.isValid());
        QFile::remove(folder.filePath(QStringLiteral("setting.ini")));
        SettingsLocation::setDirectory(folder.path());
    }

    void slotTableAsTheMetaObjectReportsIt()
    {
        struct Slot
        {
            const char *signature;
            QMetaMethod::Access access;
            const char *returnType;
            QList<QByteArray> parameterNames;
        };
        const QList<Slot> expected = {
            {"reloadComboBox()", QMetaMethod::Public, "void", {}},
            {"readSettings()", QMetaMethod::Public, "void", {}},
            {"saveSettings()", QMetaMethod::Public, "void", {}},
            {"getStatus()", QMetaMethod::Public, "void", {}},
            {"getStart()", QMetaMethod::Public, "void", {}},
            {"getStop()", QMetaMethod::Public, "void", {}},
            {"getRestart()", QMetaMethod::Public, "void", {}},
            {"getChangeMap()", QMetaMethod::Public, "void", {}},
            {"getMaps()", QMetaMethod::Public, "void", {}},
            {"getCmd()", QMetaMethod::Public, "void", {}},
            {"getRes()", QMetaMethod::Public, "void", {}},
            {"fullUpdate()", QMetaMethod::Public, "void", {}},
            {"addServer(QString,QString)", QMetaMethod::Public, "void", {"name", "token"}},
            {"getStatusName(int)", QMetaMethod::Public, "QStringList", {"id"}},
            {"setCurrentMap()", QMetaMethod::Public, "void", {}},
            {"httpRequestFinished(int,bool)", QMetaMethod::Private, "void", {"requestId", "error"}},
            {"deleteServer()", QMetaMethod::Private, "void", {}},
            {"clickTray(QSystemTrayIcon::ActivationReason)", QMetaMethod::Private, "void", {"r"}},
        };

        const QMetaObject &meta = MainWindow::staticMetaObject;
        QCOMPARE(meta.className(), "MainWindow");
        QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
        // Besides the slots only the history's two hooks, which are signals.
        QList<QMetaMethod> slotMethods;
        QList<QByteArray> signalNames;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
            if (meta.method(i).methodType() == QMetaMethod::Signal)
                signalNames << meta.method(i).methodSignature();
            else
                slotMethods << meta.method(i);
        }
        QCOMPARE(signalNames, QList<QByteArray>({"querySent(int,QString,QString)", "queryFinished(int,HttpExchange)"}));
        QCOMPARE(slotMethods.size(), expected.size());
        QCOMPARE(meta.propertyCount(), meta.propertyOffset());
        QCOMPARE(meta.enumeratorCount(), meta.enumeratorOffset());
        QCOMPARE(meta.classInfoCount(), meta.classInfoOffset());
        for (int i = 0; i < expected.size(); ++i) {
            const QMetaMethod method = slotMethods.at(i);
            QCOMPARE(method.methodSignature(), QByteArray(expected[i].signature));
            QCOMPARE(method.methodType(), QMetaMethod::Slot);
            QCOMPARE(method.access(), expected[i].access);
            QCOMPARE(method.typeName(), expected[i].returnType);
            QCOMPARE(method.parameterNames(), expected[i].parameterNames);
        }

        // getStatusName answers through the meta-object as well.
        MainWindow window;
        QStringList state;
        QVERIFY(QMetaObject::invokeMethod(&window, "getStatusName", Q_RETURN_ARG(QStringList, state), Q_ARG(int, 1)));
        QCOMPARE(state, QStringList({QStringLiteral("Работает"), QStringLiteral("color: rgb(0, 85, 0);")}));
    }

    void windowHasItsFixedFace()
    {
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(window.windowTitle(), QStringLiteral("Управление серверами Valmora"));
        QCOMPARE(window.size(), QSize(608, 432));
        QCOMPARE(window.minimumSize(), QSize(608, 432));
        QCOMPARE(window.maximumSize(), QSize(608, 432));
        QVERIFY(!window.windowIcon().isNull());

        // The raw reply pane sits below the visible area at the normal size.
        auto *pane = child<QTextEdit>(&window, "textEdit");
        QCOMPARE(pane->geometry(), QRect(10, 430, 591, 101));
        QVERIFY(pane->geometry().top() >= window.centralWidget()->height());

        QCOMPARE(child<QLabel>(&window, "label")->text(), QStringLiteral("-"));
        QCOMPARE(child<QLabel>(&window, "label_6")->text(), QStringLiteral("Выключен"));
        QCOMPARE(child<QLabel>(&window, "label_6")->styleSheet(), QStringLiteral("color: rgb(170, 0, 0);"));
        QCOMPARE(child<QLabel>(&window, "label_7")->text(), QStringLiteral("0.0.0.0:00000"));
        QCOMPARE(child<QLabel>(&window, "label_9")->text(), QStringLiteral("Игроков: 0/0"));
        QVERIFY(child<QLabel>(&window, "label_10")->isVisible());
        QCOMPARE(child<QPushButton>(&window, "pushButton_2")->text(), QStringLiteral("Добавить"));
        QCOMPARE(child<QPushButton>(&window, "pushButton_3")->text(), QStringLiteral("Удалить"));
        QCOMPARE(child<QPushButton>(&window, "pushButton_4")->text(), QStringLiteral("Запустить"));
        QCOMPARE(child<QPushButton>(&window, "pushButton_5")->text(), QStringLiteral("Остановить"));
        QCOMPARE(child<QPushButton>(&window, "pushButton_6")->text(), QStringLiteral("Перезапустить"));
        QCOMPARE(child<QPushButton>(&window, "pushButton_10")->toolTip(), QStringLiteral("Отправить команду"));
        for (const char *gauge : {"progressBar", "progressBar_2", "progressBar_3", "progressBar_4"}) {
            QCOMPARE(child<QProgressBar>(&window, gauge)->value(), 0);
            QVERIFY(!child<QProgressBar>(&window, gauge)->isTextVisible());
        }
        for (const char *picture : {"label_2", "label_3", "label_4", "label_5", "label_10"})
            QVERIFY(!child<QLabel>(&window, picture)->pixmap().isNull());
        QVERIFY(child<QComboBox>(&window, "comboBox_3")->isEditable());
        QVERIFY(!child<QComboBox>(&window, "comboBox")->isEditable());
        QVERIFY(!child<QComboBox>(&window, "comboBox_2")->isEditable());

        auto *players = child<QTreeWidget>(&window, "treeWidget");
        QCOMPARE(players->columnCount(), 3);
        QCOMPARE(players->topLevelItemCount(), 0);
        QCOMPARE(players->headerItem()->text(0), QStringLiteral("Ник"));
        QCOMPARE(players->headerItem()->text(1), QStringLiteral("Счет"));
        QCOMPARE(players->headerItem()->text(2), QStringLiteral("Время"));
        QVERIFY(players->isSortingEnabled());
        QVERIFY(players->header()->isSortIndicatorShown());
    }

    void debugSizeShowsTheReplyPane()
    {
        writeSettings(QStringLiteral("Main"), QStringLiteral("debug"), QStringLiteral("true"));
        MainWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(window.size(), QSize(608, 557));
        QCOMPARE(window.minimumSize(), QSize(608, 432));
        const QRect pane = child<QTextEdit>(&window, "textEdit")->geometry();
        QVERIFY(pane.bottom() < window.centralWidget()->height());
    }

    void timerRefreshesEveryMinuteAlsoWhileHidden()
    {
        MainWindow window;
        const QList<QTimer *> timers = window.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(timers.size(), 1);
        QTimer *timer = timers.first();
        QCOMPARE(timer->interval(), 60000);
        QVERIFY(!timer->isSingleShot());
        QVERIFY(timer->isActive());
        window.show();
        window.hide();
        QVERIFY(timer->isActive());
    }

    void trayActivationFlipsVisibilityAndClosesDialogs()
    {
        MainWindow window;
        QSystemTrayIcon *tray = trayOf(window);
        QVERIFY(tray);
        QVERIFY(tray->isVisible());
        QVERIFY(!tray->icon().isNull());

        window.show();
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!window.isVisible());
        emit tray->activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(window.isVisible());
        window.showMinimized();
        emit tray->activated(QSystemTrayIcon::Context);
        QVERIFY(!window.isVisible());
        emit tray->activated(QSystemTrayIcon::MiddleClick);
        QVERIFY(window.isVisible());

        // An open dialog is closed, and for the add-server dialog that is a cancel.
        auto *add = window.findChild<Dialog *>();
        auto *about = window.findChild<About *>();
        child<QPushButton>(&window, "pushButton_11")->click();
        QVERIFY(about->isVisible());
        child<QPushButton>(&window, "pushButton_2")->click();
        QVERIFY(add->isVisible());
        child<QLineEdit>(add, "lineEdit")->setText(QStringLiteral("Arena"));
        emit tray->activated(QSystemTrayIcon::Trigger);
        QVERIFY(!add->isVisible());
        QVERIFY(!about->isVisible());
        QVERIFY(!window.isVisible());
        QCOMPARE(child<QComboBox>(&window, "comboBox")->count(), 0);
        QCOMPARE(child<QLineEdit>(add, "lineEdit")->text(), QStringLiteral("Arena"));
    }

    void addServerDialogHandsOverWhatWasTyped()
    {
        MainWindow window;
        window.show();
        auto *add = window.findChild<Dialog *>();
        auto *servers = child<QComboBox>(&window, "comboBox");
        auto *name = child<QLineEdit>(add, "lineEdit");
        auto *key = child<QLineEdit>(add, "lineEdit_2");
        QCOMPARE(add->windowTitle(), QStringLiteral("Новый сервер"));
        QCOMPARE(add->minimumSize(), add->maximumSize());
        QCOMPARE(key->echoMode(), QLineEdit::Normal);

        auto ok = [&] { child<QDialogButtonBox>(add, "buttonBox")->button(QDialogButtonBox::Ok)->click(); };

        // OK with an empty key stores the server with an empty key.
        child<QPushButton>(&window, "pushButton_2")->click();
        QVERIFY(add->isVisible());
        name->setText(QStringLiteral(" Arena "));
        key->setText(QString());
        ok();
        QVERIFY(!add->isVisible());
        QCOMPARE(servers->count(), 1);
        QCOMPARE(servers->itemText(0), QStringLiteral(" Arena "));

        // The texts stay for the next opening.
        child<QPushButton>(&window, "pushButton_2")->click();
        QCOMPARE(name->text(), QStringLiteral(" Arena "));
        QCOMPARE(key->text(), QString());

        // Cancel, Escape and closing add nothing and keep the fields.
        name->setText(QStringLiteral("Other"));
        child<QDialogButtonBox>(add, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
        QVERIFY(!add->isVisible());
        add->show();
        QTest::keyClick(add, Qt::Key_Escape);
        QVERIFY(!add->isVisible());
        add->show();
        add->close();
        QCOMPARE(servers->count(), 1);
        QCOMPARE(name->text(), QStringLiteral("Other"));

        // An empty name is refused with a message and nothing is stored.
        MessageBoxCatcher messages;
        add->show();
        name->clear();
        key->setText(QStringLiteral("secret"));
        ok();
        QCOMPARE(messages.texts.size(), 1);
        QCOMPARE(servers->count(), 1);
        QCOMPARE(key->text(), QStringLiteral("secret"));
    }

    // The dialog needs no window: it offers what was typed to whoever
    // listens, on OK only.
    void addServerDialogOffersWhatWasTypedOnOkOnly_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("offered");
        QTest::newRow("OK") << "ok" << true;
        QTest::newRow("Return") << "return" << true;
        QTest::newRow("Cancel") << "cancel" << false;
        QTest::newRow("Escape") << "escape" << false;
        QTest::newRow("closed") << "close" << false;
    }

    void addServerDialogOffersWhatWasTypedOnOkOnly()
    {
        QFETCH(QString, how);
        QFETCH(bool, offered);
        Dialog dialog;
        QSignalSpy entered(&dialog, &Dialog::serverEntered);
        dialog.show();
        child<QLineEdit>(&dialog, "lineEdit")->setText(QStringLiteral(" Арена "));
        auto *key = child<QLineEdit>(&dialog, "lineEdit_2");
        key->setText(QStringLiteral("c7/Yp+2m"));
        auto *buttons = child<QDialogButtonBox>(&dialog, "buttonBox");
        if (how == QLatin1String("ok"))
            buttons->button(QDialogButtonBox::Ok)->click();
        else if (how == QLatin1String("return"))
            QTest::keyClick(key, Qt::Key_Return);
        else if (how == QLatin1String("cancel"))
            buttons->button(QDialogButtonBox::Cancel)->click();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            dialog.close();

        QVERIFY(!dialog.isVisible());
        QCOMPARE(entered.count(), offered ? 1 : 0);
        if (offered)
            QCOMPARE(entered.at(0), QVariantList({QStringLiteral(" Арена "), QStringLiteral("c7/Yp+2m")}));
    }

    void aboutDialogLinksOpenInTheBrowser()
    {
        MainWindow window;
        auto *about = window.findChild<About *>();
        QCOMPARE(about->windowTitle(), QStringLiteral("О программе"));
        QCOMPARE(about->minimumSize(), QSize(400, 170));
        QCOMPARE(about->maximumSize(), QSize(400, 170));
        auto *text = child<QLabel>(about, "label");
        QVERIFY(text->openExternalLinks());
        QVERIFY(text->wordWrap());
        QVERIFY(text->text().contains(QStringLiteral("Программа предназначена для управления игровыми серверами")));
        QCOMPARE(text->text().count(QStringLiteral("href=\"https://")), 2);
        QVERIFY(!text->text().contains(QStringLiteral(".com")));
    }

    void picturesAreCompiledIn_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("size");
        for (const char *path : {":/games.png", ":/res/cpu.png", ":/res/memory.png", ":/res/users_png_1.png",
                                 ":/res/hdd.png", ":/locked.png"})
            QTest::newRow(path) << QString::fromLatin1(path) << 32;
        for (const char *path : {":/refresh2.png", ":/send.png", ":/refresh.png", ":/console.png", ":/information.png"})
            QTest::newRow(path) << QString::fromLatin1(path) << 16;
    }

    void picturesAreCompiledIn()
    {
        QFETCH(QString, path);
        QFETCH(int, size);
        QImageReader reader(path);
        QCOMPARE(reader.format(), QByteArray("png"));
        const QImage image = reader.read();
        QCOMPARE(image.size(), QSize(size, size));
        QVERIFY(image.hasAlphaChannel());

        // Scaled screens take the twin drawn at twice the size.
        const QImage twin(QString(path).replace(QStringLiteral(".png"), QStringLiteral("@2x.png")));
        QCOMPARE(twin.size(), QSize(2 * size, 2 * size));
        QVERIFY(twin.hasAlphaChannel());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"

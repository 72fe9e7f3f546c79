#include "serverdialog.h"

#include "background.h"
#include "labserver.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {

QLineEdit *lineEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

QStringList ServerDialog::sslModes()
{
    return {QStringLiteral("disable"), QStringLiteral("allow"),     QStringLiteral("prefer"),
            QStringLiteral("require"), QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
}

QString ServerDialog::sslModeTitle(const QString &mode)
{
    static const QHash<QString, QString> titles{
        {QStringLiteral("disable"), tr("без шифрования")},
        {QStringLiteral("allow"), tr("шифровать, только если сервер требует")},
        {QStringLiteral("prefer"), tr("шифровать, если сервер умеет (обычно)")},
        {QStringLiteral("require"), tr("только шифрованное, сертификат не проверять")},
        {QStringLiteral("verify-ca"), tr("шифрованное, сертификат сервера проверить")},
        {QStringLiteral("verify-full"), tr("шифрованное, сертификат и имя сервера проверить")},
    };
    return titles.value(mode, mode);
}

ServerDialog::ServerDialog(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(tr("Сервер лаборатории"));
    host = lineEdit("edtServerHost", this);
    host->setPlaceholderText(tr("например, archive.lab.local"));
    port = new QSpinBox(this);
    port->setObjectName(QStringLiteral("spinServerPort"));
    port->setRange(0, 65535);
    port->setSpecialValueText(tr("по умолчанию (5432)"));
    database = lineEdit("edtServerDatabase", this);
    user = lineEdit("edtServerUser", this);
    user->setPlaceholderText(tr("по умолчанию — имя пользователя системы"));
    sslMode = new QComboBox(this);
    sslMode->setObjectName(QStringLiteral("cmbServerSslMode"));
    for (const QString &mode : sslModes())
        sslMode->addItem(sslModeTitle(mode), mode);
    sslMode->setCurrentIndex(sslMode->findData(QStringLiteral("prefer")));
    uri = new QLabel(this);
    uri->setObjectName(QStringLiteral("lblServerUri"));
    uri->setTextInteractionFlags(Qt::TextSelectableByMouse);
    problem = new QLabel(this);
    problem->setObjectName(QStringLiteral("lblServerProblem"));
    problem->setWordWrap(true);
    problem->setStyleSheet(QStringLiteral("color:#c00000;"));
    auto *note = new QLabel(tr("Пароль программа не сохраняет: она берёт его из ~/.pgpass или "
                               "PGPASSWORD, а иначе спрашивает при первой синхронизации и помнит "
                               "до закрытия окна."),
                            this);
    note->setWordWrap(true);
    checkButton = new QPushButton(tr("Проверить соединение"), this);
    checkButton->setObjectName(QStringLiteral("btnCheckServer"));
    checkOutcome = new QLabel(this);
    checkOutcome->setObjectName(QStringLiteral("lblServerCheck"));
    checkOutcome->setWordWrap(true);
    checkOutcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    check = new QFutureWatcher<ServerCheck>(this);
    connect(checkButton, &QPushButton::clicked, this, &ServerDialog::checkConnection);
    connect(check, &QFutureWatcherBase::finished, this, [this]() {
        checkButton->setEnabled(true);
        const QString told = serverCheckMessage(check->result());
        // The fields changed meanwhile: said of the server checked.
        checkOutcome->setText(server().uri() == checkedUri ? told
                                                           : tr("%1: %2").arg(checkedUri, told));
        emit checkEnded();
    });

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Save)->setText(tr("Сохранить"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("Отмена"));
    QPushButton *none =
        buttons->addButton(tr("Не использовать сервер"), QDialogButtonBox::DestructiveRole);
    none->setObjectName(QStringLiteral("btnNoServer"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ServerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ServerDialog::reject);
    connect(none, &QPushButton::clicked, this, &ServerDialog::stopUsingServer);

    auto *form = new QFormLayout;
    form->addRow(tr("Адрес сервера:"), host);
    form->addRow(tr("Порт:"), port);
    form->addRow(tr("База данных:"), database);
    form->addRow(tr("Пользователь:"), user);
    form->addRow(tr("Защита соединения (TLS):"), sslMode);
    form->addRow(tr("URI:"), uri);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    auto *checkRow = new QHBoxLayout;
    checkRow->addWidget(checkButton, 0, Qt::AlignTop);
    checkRow->addWidget(checkOutcome, 1);
    layout->addLayout(checkRow);
    layout->addWidget(problem);
    layout->addWidget(buttons);

    for (QLineEdit *edit : {host, database, user})
        connect(edit, &QLineEdit::textChanged, this, &ServerDialog::showUri);
    connect(port, qOverload<int>(&QSpinBox::valueChanged), this, &ServerDialog::showUri);
    connect(sslMode, qOverload<int>(&QComboBox::currentIndexChanged), this, &ServerDialog::showUri);
    showUri();
}

void ServerDialog::setServer(const ArchiveServer &s)
{
    host->setText(s.host);
    port->setValue(s.port);
    database->setText(s.database);
    user->setText(s.user);
    const QString mode = s.sslMode.isEmpty() ? QStringLiteral("prefer") : s.sslMode;
    if (sslMode->findData(mode) < 0) // a word the URI held that the list lacks: kept as it is
        sslMode->addItem(mode, mode);
    sslMode->setCurrentIndex(sslMode->findData(mode));
    given = s;
}

ArchiveServer ServerDialog::server() const
{
    ArchiveServer s;
    s.host = host->text().trimmed();
    s.database = database->text().trimmed();
    if (!namesServer(s))
        return ArchiveServer();
    s.configured = true;
    s.port = port->value();
    s.user = user->text().trimmed();
    s.sslMode = sslMode->currentData().toString();
    return s;
}

void ServerDialog::showUri()
{
    const ArchiveServer s = server();
    uri->setText(namesServer(s) ? s.uri() : tr("нет (сервер не используется)"));
    problem->clear();
    checkButton->setEnabled(namesServer(s) && !check->isRunning());
    // Said of the server the fields named before.
    if (!check->isRunning())
        checkOutcome->clear();
}

void ServerDialog::checkConnection()
{
    ArchiveServer s = server();
    if (!namesServer(s) || check->isRunning())
        return;
    if (s.host == given.host && s.port == given.port && s.database == given.database &&
        s.user == given.user)
        s.password = given.password;
    checkButton->setEnabled(false);
    checkOutcome->setText(tr("Проверка соединения с %1…").arg(s.uri()));
    checkedUri = s.uri();
    check->setFuture(runInBackground([s]() { return checkServer(s); }));
}

QString ServerDialog::checkText() const
{
    return checkOutcome->text();
}

void ServerDialog::accept()
{
    // What is kept must be read back as the same server.
    const ArchiveServer s = server();
    ArchiveServer back;
    QString error;
    if (namesServer(s) &&
        (!ArchiveServer::parse(s.uri(), &back, &error) || back.uri() != s.uri())) {
        const QString why = s.database.contains(QLatin1Char('/'))
                                ? tr("в имени базы данных не может быть «/».")
                                : tr("адрес из этих полей читается иначе.");
        problem->setText(withDetail(tr("Такой сервер не задать: %1").arg(why), error));
        return;
    }
    QDialog::accept();
}

void ServerDialog::stopUsingServer()
{
    for (QLineEdit *edit : {host, database, user})
        edit->clear();
    port->setValue(0);
    QDialog::accept();
}

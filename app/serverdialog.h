// «Сервер лаборатории»: the dialog where the operator names the lab's archive
// server (host, port, database, user, TLS mode) or stops using one. It has no
// password field: the password is never kept by this program (libpq's
// ~/.pgpass or PGPASSWORD, or asked for at the first sync of the session).
// It is refused, with the reason under the fields, while the fields do not
// make a connection URI this program reads back the same.
//
// The TLS modes are offered by their Russian descriptions; the value kept is
// libpq's word (sslModes()). «Проверить соединение» tries the fields' server
// off the event loop (with the session's password when the fields still name
// the server it was given for) and says the outcome beside the button (with
// the URI checked when the fields changed meanwhile): the dialog stays usable
// meanwhile, and a check still running when it closes is left to end on its
// own.
#pragma once

#include "archiveserver.h"
#include "labserver.h"

#include <QDialog>
#include <QFutureWatcher>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class ServerDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ServerDialog(QWidget *parent = nullptr);

    // The TLS modes offered, as libpq names them, and how the dialog
    // describes each.
    static QStringList sslModes();
    static QString sslModeTitle(const QString &mode);

    void setServer(const ArchiveServer &server);
    // The server the fields name (no host and no database: none).
    ArchiveServer server() const;

    void accept() override;
    // Empties the fields and accepts: no server from now on.
    void stopUsingServer();
    // Starts the connection check; checkEnded() is emitted with its outcome.
    void checkConnection();
    QString checkText() const;

signals:
    void checkEnded();

private:
    QLineEdit *host;
    QSpinBox *port;
    QLineEdit *database;
    QLineEdit *user;
    QComboBox *sslMode;
    QLabel *uri;
    QLabel *problem;
    QPushButton *checkButton;
    QLabel *checkOutcome;
    QFutureWatcher<ServerCheck> *check;
    ArchiveServer given; // as setServer() had it, with the session's password
    QString checkedUri;

    void showUri();
};

// «Сервер лаборатории»: the dialog where the operator names the lab's archive
// server (host, port, database, user, TLS mode) or stops using one. It has no
// password field: the password is never kept by this program (libpq's
// ~/.pgpass or PGPASSWORD, or asked for at the first sync of the session).
// It is refused, with the reason under the fields, while the fields do not
// make a connection URI this program reads back the same.
#pragma once

#include "archiveserver.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

class ServerDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ServerDialog(QWidget *parent = nullptr);

    // The TLS modes offered, as libpq names them.
    static QStringList sslModes();

    void setServer(const ArchiveServer &server);
    // The server the fields name (no host and no database: none).
    ArchiveServer server() const;

    void accept() override;
    // Empties the fields and accepts: no server from now on.
    void stopUsingServer();

private:
    QLineEdit *host;
    QSpinBox *port;
    QLineEdit *database;
    QLineEdit *user;
    QComboBox *sslMode;
    QLabel *uri;
    QLabel *problem;

    void showUri();
};

// The archive window («Архив приборов»): the pagers in the archive; for the
// one chosen, a period (from, to; as another pager is chosen, the 30 days up
// to its last record, so one last read long ago still shows it) and its records
// in the history table's columns, read from the archive as they come into
// view (any row at once, the last one too), with the alarms by kind, the peak dose rate and the
// dose at the period's end. From it: the plot of the period, its CSV file and PDF journal (the
// period in its heading and both its days in the offered file names), and the pager's settings log
// (a table whose columns show their texts whole, with the PC of each entry, and its CSV or PDF
// file). It only reads the archive; «Носители…» opens the wearers window
// (wearerswindow.h), which writes wearers and assignments to this PC's.
//
// «Источник:» shows this PC's archive or the lab's server's, with the same
// widgets. The server is opened on a connection of the window's own (this
// PC's archive is left as it is), after a first connection off the event
// loop has shown it answers, so an unreachable server never holds the window
// up. A server that cannot be shown (none set, unreachable, asking a password
// not given, of a newer version) is named in the message line and this PC's
// archive is shown instead. A password the operator types is kept by the
// LabServer for the session and used again.
#pragma once

#include "archive.h"
#include "archiveserver.h"
#include "labserver.h"
#include "savenames.h"

#include <QDate>
#include <QFutureWatcher>
#include <QWidget>

#include <functional>
#include <memory>

class ArchiveRecordModel;
class QComboBox;
class QDialog;
class HistoryPlotWindow;
class QDateEdit;
class QLabel;
class QTableView;
class QTableWidget;
class WearersWindow;

class ArchiveWindow : public QWidget
{
    Q_OBJECT

public:
    // `calibrationDate` gives the date the CSV file and the journal of a
    // pager carry, by its serial number. The archive must outlive the window.
    // `server` (may be null: no server source) names the lab's server.
    ArchiveWindow(Archive *archive, std::function<QDate(const QString &)> calibrationDate,
                  QWidget *parent = nullptr, LabServer *server = nullptr);
    ~ArchiveWindow() override;

    enum class Source { Local, Server };
    Source source() const;
    // Shows this PC's archive at once, or the server's once it answered:
    // sourceShown() tells when the choice has settled (shown or fallen back).
    void chooseSource(Source source);
    // The lab's server was set anew: the one open is closed (and the new one
    // opened when the server was shown).
    void serverChanged();
    QString messageText() const;

signals:
    void sourceShown();

public:
    // Reads the list of pagers again (and the chosen pager's period).
    void reload();
    // Chooses a pager by serial number and shows its period; false when the
    // archive has no such pager.
    bool choosePager(const QString &serialNumber);
    void setPeriod(const QDate &from, const QDate &to);

    ArchiveRecordModel *recordModel() const { return model; }
    QString summaryText() const;
    // The name the save dialogs offer for the period's file of `kind`: the
    // pager and both days of the period.
    QString offeredPeriodName(SavedFile kind) const;

    // The files of the period and of the settings log (also what the buttons
    // do once a name is chosen); false with the reason shown when not written:
    // also for no pager chosen, a period without records or one not read
    // to its end.
    // The due date the period runs past (its files say so); invalid when none.
    QDate periodOverdueSince() const;
    // `machine`: the CSV file for programs (recordexport.h).
    bool savePeriodCsv(const QString &fileName, bool machine = false);
    bool savePeriodPdf(const QString &fileName);
    bool saveSettingsLogCsv(const QString &serialNumber, const QString &fileName);
    bool saveSettingsLogPdf(const QString &serialNumber, const QString &fileName);
    // «На проверку…»: the downloads to review of the archive shown, in a
    // dialog (made once) from which one is opened (its records in the table
    // and the plot) and signed.
    QDialog *showReviews();
    // Shows a download's records: its pager, the days of its records, the plot.
    bool openReview(qint64 downloadId, const QString &serialNumber);
    // Signs a download in the archive shown; false with the reason shown
    // (in Russian, naming the role when the server refused for lack of rights).
    bool signReview(qint64 downloadId, SignatureMeaning meaning, const QString &note,
                    const QString &signer, const QDateTime &at);
    // «Носители…»: the wearers window on this PC's archive (made once).
    WearersWindow *showWearers();

private:
    // The archive shown: this PC's or the server's.
    Archive *archive;
    Archive *localArchive;
    std::unique_ptr<Archive> serverArchive;
    LabServer *labServer;
    QComboBox *sourceBox;
    QFutureWatcher<ServerCheck> probe;
    ArchiveServer probedServer;
    bool probePasswordAsked = false;
    void probeServer();
    void probeEnded();
    void showArchive(Archive *shown);
    // Shows this PC's archive, saying why not the server's (Russian), and
    // the server's own words after «Подробно:».
    void fallBack(const QString &why, const QString &detail = QString());
    std::function<QDate(const QString &)> calibrationDate;
    QTableWidget *pagers;
    QDateEdit *fromEdit;
    QDateEdit *toEdit;
    QLabel *summary;
    QTableView *records;
    ArchiveRecordModel *model;
    QLabel *message;
    HistoryPlotWindow *plotWindow = nullptr;
    WearersWindow *wearersWindow = nullptr;
    QDialog *reviewsDialog = nullptr;
    QTableWidget *reviewsTable = nullptr;
    QLabel *reviewsMessage = nullptr;
    // The downloads to review listed in the dialog again.
    void reloadReviews();
    QString periodSerial; // the pager the period was last set for

    QString chosenSerial() const;
    void showPeriod();
    void showPlot();
    void showSettingsLog();
    // The pager's clock offsets at its contacts and its drift, in a dialog.
    void showClockOffsets();
    // Says why the period cannot be saved (`what`: the file), if it cannot.
    bool refusePeriod(const QString &what);
    void report(const QString &text);
    // Tells the outcome of writing a file; `done` holds %1 for its name.
    bool saved(bool ok, const QString &fileName, const QString &error, const QString &done);
};

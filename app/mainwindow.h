// The one window of the program: reads and changes the pager's settings,
// downloads its history into the table and saves the table as CSV or PDF.
#pragma once

#include "archive.h"
#include "archivelocation.h"
#include "archiveserver.h"
#include "historydownload.h"
#include "historydump.h"
#include "historyrecord.h"
#include "labserver.h"
#include "pagerchooser.h"
#include "pagerlink.h"
#include "savenames.h"
#include "settingbands.h"

#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QList>
#include <QMainWindow>
#include <QTimeZone>

class HistoryTableModel;
class StatusLabel;
class HistoryPlotWindow;
class SettingField;
class ArchiveWindow;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Shows one table row per record (alarms in red) in place of the rows
    // shown before, dates as wall-clock time in `zone`.
    void fillHistoryTable(const QList<HistoryRecord *> &records,
                          const QTimeZone &zone = QTimeZone::systemTimeZone());

    // Shows the number of history pages read so far.
    void showHistoryPages(int pages);

    // Whether a device action is running (the history download lets events
    // run between pages; no other device action may start meanwhile).
    bool isDeviceBusy() const { return deviceBusy; }

    // Tells the pager chooser when each pager was last read.
    void setLastReadLookup(LastReadLookup lookup) { lastReadLookup = std::move(lookup); }

private slots:
    void on_menuExit_triggered();
    void on_menuConnect_triggered();
    void on_menuReadHistory_triggered();
    void on_menuHelp_triggered();
    void on_menuSaveHistory_triggered();
    void on_menuPrintHistory_triggered();
    void on_btnSync_clicked();
    void on_btnSaveSn_clicked();
    void on_btnSaveSg_clicked();
    void on_btnSaveMED_clicked();
    void on_btnSaveThist_clicked();

    // ---- History plot and history dumps (mainwindow_history.cpp) ----
    void on_menuPlotHistory_triggered();
    void on_menuSaveDump_triggered();
    void on_menuOpenDump_triggered();
    // ---- end of history plot and dumps ----
    // ---- The archive (mainwindow_archive.cpp) ----
    void on_menuArchive_triggered();
    void on_menuSyncArchive_triggered();
    void on_menuArchiveServer_triggered();

    // Enter in a setting field stores it as its button does.
    void on_edtSn_returnPressed();
    void on_edtSg_returnPressed();
    void on_edtMED_returnPressed();
    void on_edtThist_returnPressed();
    // The calibration date typed is remembered for the pager shown.
    void on_dateControl_dateChanged(const QDate &date);

private:
    Ui::MainWindow *ui;
    PagerLink link;
    HistoryTableModel *historyModel;
    QList<HistoryRecord *> historyRecords;

    bool deviceBusy = false;
    LastReadLookup lastReadLookup;

    // Starts a device action: false (with a message) when another one runs
    // or no pager answers.
    bool beginDeviceAction();
    void endDeviceAction();
    void report(const QString &message);

    void storeRegisterSetting(const QString &name, SettingField *field,
                              bool (PagerLink::*write)(float));
    // The four setting fields, each knowing what the pager last reported.
    SettingField *fieldSn = nullptr;
    SettingField *fieldSg = nullptr;
    SettingField *fieldMED = nullptr;
    SettingField *fieldThist = nullptr;
    // Asks before a value far outside normal use is sent; true to send it.
    bool confirmUnusual(const QString &name, SettingKind kind, double value, const QString &shown);
    // The pager whose calibration date the date field shows: its remembered
    // date (if any) is shown.
    QString calibrationSerial;
    void showCalibrationDateOf(const QString &serialNumber);
    // The calibration date kept for a pager, or the field's date.
    QDate calibrationDateOf(const QString &serialNumber) const;
    // The date of the shown history (its download), for the offered names.
    QDate shownHistoryDate() const;
    // True, with a message, when the table has no rows to save.
    bool refuseEmptyTable(const QString &what);
    // The file for the table (CSV or journal): empty when refused (a download
    // runs, the table is empty) or cancelled. Shows the calibration date of
    // the table's own pager first; the filter chosen in *selectedFilter.
    QString askTableFileName(SavedFile kind, const QString &what, const QString &title,
                             const QString &filter, QString *selectedFilter = nullptr);
    void showSetting(SettingField *field, const QString &text, QStringList *notShown,
                     const QString &name);

    // ---- The two clocks ----------------------------------------------------
    // The PC's clock runs (set each second). The pager's shows what it last
    // answered and runs on from there; its tool tip says what was read and
    // when. A pager that did not answer shows the clock's first day and stops.
    QDateTime deviceClockRead;
    QElapsedTimer sinceDeviceClockRead;
    void showDeviceClock(const QDateTime &read, bool answered);
    void tickClocks();

    // ---- Outcome line and the running download ----------------------------
    // The outcome of the last action, kept until the next one (a permanent
    // widget of the status bar, which a menu's status tip does not clear).
    StatusLabel *statusLabel = nullptr;
    // Set by Escape or by closing the window: the download ends after the
    // page it is reading.
    bool downloadStopRequested = false;
    // The window was closed during a download: it closes once that ends.
    bool closeAfterDownload = false;
    // True, with a message, while a download runs (the actions that would
    // talk to the pager or save the half-read table wait for its end).
    bool refuseDuringDownload();
    void stopDownload();
    void reportSaveFailure(const QString &fileName, const QString &writerError);

protected:
    void closeEvent(class QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    // ------------------------------------------------------------------------
    // ---- History plot and history dumps (mainwindow_history.cpp) ----
public:
    // The plot window while it exists (it is made on first use).
    HistoryPlotWindow *historyPlotWindow() const { return plotWindow; }
    // Decodes a dump into the table (and the plot) as a download would. A file
    // that is not a readable dump is refused with the reason in the status
    // bar, and the table stays as it was.
    bool openHistoryDump(const QString &fileName);
    // Saves the page replies of the last download (or of the opened dump).
    bool saveShownHistoryDump(const QString &fileName);
    // The serial number the journal names: that of the shown history.
    QString journalSerialNumber() const;

private:
    HistoryPlotWindow *plotWindow = nullptr;
    // The page replies of the last download, or the dump opened since, with
    // the serial number and the zone the table's rows came from.
    HistoryDump shownHistory;
    // A sink for downloadHistory that keeps the replies in shownHistory; call
    // at the start of a download (it forgets the previous one).
    HistoryPageSink keepDownloadedPages(const QString &serialNumber);
    // After the table was filled: the plot, when open, shows the new records.
    void historyShown();
    // Selects and shows a row of the table (a click on the plot).
    void showHistoryRow(int row);
    // The plot window, made (hidden) on first use.
    HistoryPlotWindow *madePlotWindow();
    // Each tells the operator in the status bar why it says so.
    bool hasDumpToSave();
    // ---- end of history plot and dumps ----

    // ---- The archive (mainwindow_archive.cpp) ----
public:
    // The archive the window stores into (open unless it could not be used).
    Archive &historyArchive() { return archive; }
    // Uses the archive in `fileName` from now on (at start, the default one).
    void openArchive(const QString &fileName);
    // Tells what became of an earlier version's archive and settings at
    // start, before why the archive is not used when it is not.
    void tellEarlierFiles(const EarlierFiles &earlier);
    ArchiveWindow *archiveBrowser() const { return archiveWindow; }
    // Whether a synchronisation with the lab's server runs (off the event
    // loop), until its outcome has been told.
    bool isSyncRunning() const { return syncing; }
    // How long closing the window waits for a running synchronisation.
    static constexpr int syncCloseWaitMs = 20000;

private:
    Archive archive;
    ArchiveWindow *archiveWindow = nullptr;
    // ---- The lab's server ----
    // One synchronisation at a time: the operator's request while one runs is
    // refused with a message; an automatic one (after an event was stored)
    // runs once more after it, so that nothing stored meanwhile waits.
    LabServer labServer;
    QFutureWatcher<ArchiveSyncResult> syncWatcher;
    ArchiveServer syncServer;       // the server of the running sync
    bool syncing = false;           // until its outcome has been told
    bool syncByOperator = false;    // its outcome is told in full, a password asked for
    bool syncPasswordAsked = false; // the password was asked for this request once
    bool syncAgain = false;         // an automatic sync waits for the running one
    bool serverProblemTold = false; // until a sync succeeds, a failure is told once
    bool closeAfterSync = false;    // the window closes when the sync ends
    // Starts a sync; none when there is no archive or no server (the reason
    // told when the operator asked).
    void startSync(bool byOperator);
    void syncEnded();
    // After an event was stored in this PC's archive.
    void syncAfterStoring() { startSync(false); }
    // Why the archive is not used.
    QString archiveNote;
    // Each stores one event; the returned text (empty, or starting with a
    // space) ends the status message.
    // `clockOffset`: the pager's clock minus the PC's, when read at this contact.
    QString archiveHistory(const HistoryDump &dump, ArchiveOutcome outcome, const QString &origin,
                           const QVariant &clockOffset = QVariant());
    QString archiveParameterRead(const ParameterRead &read);
    QString archiveSettingChange(const char *settingName, const QString &value,
                                 SettingOutcome outcome, const QVariant &clockOffset = QVariant());
    // ---- end of the archive ----

    // ---- Calibrations and the pager's clock (mainwindow_calibration.cpp) ----
private slots:
    // A new date in the calibration field is asked about once: recorded as
    // a calibration (certificate, interval) or kept for this report only.
    void on_dateControl_editingFinished();

private:
    // The date the field last showed from the archive or was asked about.
    QDate askedCalibrationDate;
    bool calibrationDateEdited = false; // by the operator, since last asked or shown
    // " Поверка просрочена с …." when the pager is due, overdue or failed its
    // last calibration; empty otherwise.
    QString calibrationNote(const QString &serialNumber);
    // The due date the shown download was made on or after; invalid otherwise.
    QDate shownHistoryOverdueSince();
    // The dates earlier versions kept in the settings, into the archive once.
    void migrateCalibrationDates();
    // «Ставить часы прибора, если расходятся больше чем на N с» (0: off).
    int clockBeyondSeconds() const;
    void setUpClockSetting();
    // The clock read at the end of a complete download, and set when it is
    // off by more than the setting allows.
    struct ClockAtDownload
    {
        QVariant offset; // null when not read
        bool set = false;
        QDateTime sentAt;
        SettingOutcome outcome = SettingOutcome::NoAnswer;
        QVariant readBackOffset;
    };
    ClockAtDownload checkClockAtDownload(bool complete);
    // Logs the setting of the clock (after the download is stored) and says so.
    QString clockAtDownloadMessage(const ClockAtDownload &clock);
    // ---- end of calibrations and the clock ----
};

// The window whose page label the history progress updates.
extern MainWindow *mainWindowInstance;

// Progress function of the history download: sets the page label.
void showHistoryProgress(int pages);

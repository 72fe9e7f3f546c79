// The window's actions, run whole against a pager played on the scripted USB
// library: what each menu entry and button sends, what the widgets then show
// and what the status bar tells the operator.

#include "csvexport.h"
#include "helpfile.h"
#include "historyflags.h"
#include "mainwindow.h"
#include "recordexport.h"
#include "savenames.h"
#include "statuslabel.h"
#include "statusmessages.h"
#include "support/dialoganswer.h"
#include "support/fakepager.h"
#include "support/messageboxanswer.h"
#include "support/testsettings.h"

#include <QAction>
#include <QApplication>
#include <QDateTimeEdit>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <cerrno>
#include <functional>
#include <memory>

// Stands in for the desktop's file opener.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void openUrl(const QUrl &url) { urls << url; }
};

// Makes a folder read-only (when `on`) until the returned guard goes.
auto readOnlyFolder(const QString &path, bool on)
{
    const QFileDevice::Permissions was = QFile(path).permissions();
    if (on)
        QFile(path).setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    return qScopeGuard([path, was] { QFile(path).setPermissions(was); });
}

class TestMainWindowActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readParameters();
    void readParametersRendersValues_data();
    void readParametersRendersValues();
    void readParametersWithFailedReads();
    void noPagerChangesNothing_data();
    void noPagerChangesNothing();
    void severalPagersAreChosenFrom();
    void unusableLibraryIsNamed_data();
    void unusableLibraryIsNamed();

    void storeSetting_data();
    void storeSetting();
    void storedSigmaReadsBackInTenths();
    void unusableTextIsNotSent_data();
    void unusableTextIsNotSent();
    void refusedWriteIsReported_data();
    void refusedWriteIsReported();
    void unusualValueAsksFirst_data();
    void unusualValueAsksFirst();

    void syncSetsDeviceClock();
    void syncWithoutConfirmation_data();
    void syncWithoutConfirmation();

    void helpCopiesAndOpens();
    void helpOpensExistingFileUnchanged();
    void helpFallsBackToWritableFolder_data();
    void helpFallsBackToWritableFolder();

    void historyFillsTable();
    void historyFromSilentPagerIsIncomplete();
    void deviceActionsHeldBackDuringDownload();

    void saveCsvThroughDialog();
    void savePdfThroughDialog();
    void cancelledSaveWritesNothing();
    void saveDialogStartsInExistingFolder_data();
    void saveDialogStartsInExistingFolder();
    void failedSaveIsReported();

    void exitEndsEventLoopWithZero();
    void downloadStopsAfterCurrentPage_data();
    void downloadStopsAfterCurrentPage();

    void outcomeSurvivesMenuHover();
    void outcomeLineFitsWindow();
    void headerWrapsOntoTwoLines_data();
    void headerWrapsOntoTwoLines();
    void cellToolTipTellsWholeText();
    void rowsFitTheirText();
    void countsAndDurations();
    void fileErrorKinds_data();
    void fileErrorKinds();

private:
    FakePager pager;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QObject> answerers; // the dialog answers of one test

    template <typename T> T *find(const char *name) const
    {
        T *object = window->findChild<T *>(QLatin1String(name));
        if (!object)
            qFatal("no object %s", name);
        return object;
    }
    QLineEdit *edit(const char *name) const { return find<QLineEdit>(name); }
    void trigger(const char *action) { find<QAction>(action)->trigger(); }
    void click(const char *button) { QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton); }
    // The outcome line's whole message (its tool tip; the text may be cut).
    QString status() const { return find<QLabel>("lblStatus")->toolTip(); }
    void clearStatus() { find<StatusLabel>("lblStatus")->setMessage(QString()); }
    // Answers the next modal file dialog with `fileName` (or cancels it when
    // the name is empty).
    void answerFileDialog(const QString &fileName,
                          std::function<void(QFileDialog *)> beforeAccept = {});
    void fillTwoPageHistory();
};

void TestMainWindowActions::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
}

void TestMainWindowActions::init()
{
    pager = FakePager();
    pager.plugIn();
    isolateTestSettings(); // no last folder from an earlier test
    answerers = std::make_unique<QObject>();
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindowActions::cleanup()
{
    answerers.reset();
    window.reset();
    usbfake::reset();
}

void TestMainWindowActions::answerFileDialog(const QString &fileName,
                                             std::function<void(QFileDialog *)> beforeAccept)
{
    // Polls for the dialog and answers it. The dialog lists folders in the
    // background and may not take the name at once, so the answer is given
    // again while that dialog stays; one that never takes it is rejected,
    // failing the test instead of hanging it.
    auto *poll = new QTimer(answerers.get());
    auto ticks = std::make_shared<int>(0);
    auto answers = std::make_shared<int>(0);
    auto answered = std::make_shared<QPointer<QFileDialog>>();
    connect(poll, &QTimer::timeout, poll, [=]() {
        ++*ticks;
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (*answers > 0 && (!*answered || dialog != *answered)) {
            poll->stop(); // our dialog is closed
            return;
        }
        if (!dialog) {
            if (*ticks > 500)
                poll->stop();
            return;
        }
        if (*answers > 0 && *ticks < 20)
            return;
        *ticks = 0;
        *answered = dialog;
        if (fileName.isEmpty() || ++*answers > 10) {
            *answers = 1;
            dialog->reject();
            return;
        }
        if (beforeAccept)
            beforeAccept(dialog);
        // As typed: selectFile() leaves a focused name field as it is.
        if (auto *typed = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            typed->setText(fileName);
        else
            dialog->selectFile(fileName);
        QMetaObject::invokeMethod(dialog, "accept", Qt::DirectConnection);
    });
    poll->start(10);
}

// ---- read parameters ------------------------------------------------------

void TestMainWindowActions::readParameters()
{
    const QDateTime before = QDateTime::currentDateTime();
    trigger("menuConnect");
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(find<QLabel>("lblSN")->text(), QStringLiteral("SN: 05A00317"));
    QCOMPARE(find<QDateTimeEdit>("dtDevice")->dateTime(),
             deviceEpoch().addSecs(qint64(pager.clockMinutes) * 60));
    const QDateTime pc = find<QDateTimeEdit>("dtPC")->dateTime();
    QVERIFY(pc >= before.addSecs(-60) && pc <= after);
    QCOMPARE(edit("edtSn")->text(), QStringLiteral("3.5"));
    QCOMPARE(edit("edtSg")->text(), QStringLiteral("3"));
    QCOMPARE(edit("edtMED")->text(), QStringLiteral("1e-05"));
    QCOMPARE(edit("edtThist")->text(), QStringLiteral("10"));
    QCOMPARE(status(), QStringLiteral("Параметры прочитаны."));

    QCOMPARE(pager.words, (QStringList{QStringLiteral("get_ID"), QStringLiteral("read_enter_time"),
                                       QStringLiteral("read_hist_time")}));
    QCOMPARE(pager.frames, (QList<QByteArray>{registerReadFrame(reg::neutronSigma, 2),
                                              registerReadFrame(reg::gammaSigma, 2),
                                              registerReadFrame(reg::doseRateThreshold, 4)}));
    QVERIFY(usbfake::openHandles().isEmpty());
}

void TestMainWindowActions::readParametersRendersValues_data()
{
    QTest::addColumn<int>("neutronTenths");
    QTest::addColumn<float>("threshold");
    QTest::addColumn<int>("interval");
    QTest::addColumn<QString>("edtSn");
    QTest::addColumn<QString>("edtMED");
    QTest::addColumn<QString>("edtThist");
    QTest::addColumn<QString>("notShown"); // named in the status bar, field left empty

    QTest::newRow("widest that fit") << 1005 << 1.5e-5f << 65535 << "100.5"
                                     << "1.5e-05"
                                     << "65535" << QString();
    QTest::newRow("tiny threshold") << 0 << 1e-6f << 0 << "0"
                                    << "1e-06"
                                    << "0" << QString();
    QTest::newRow("sigma too long") << 10005 << 2.5f << 1 << ""
                                    << "2.5"
                                    << "1"
                                    << "нейтроны = 1000.5";
    QTest::newRow("threshold too long") << 30 << 1.23456e-06f << 1 << "3"
                                        << ""
                                        << "1"
                                        << "порог = 1.23456e-06";
}

void TestMainWindowActions::readParametersRendersValues()
{
    QFETCH(int, neutronTenths);
    QFETCH(float, threshold);
    QFETCH(int, interval);
    pager.neutronTenths = std::uint16_t(neutronTenths);
    pager.thresholdWord = encodeDeviceFloatWord(threshold);
    pager.interval = unsigned(interval);
    // A field holding an older value must not keep it when the new one is not shown.
    edit("edtSn")->setText(QStringLiteral("4"));
    edit("edtMED")->setText(QStringLiteral("4"));

    trigger("menuConnect");

    QTEST(edit("edtSn")->text(), "edtSn");
    QTEST(edit("edtMED")->text(), "edtMED");
    QTEST(edit("edtThist")->text(), "edtThist");
    QFETCH(QString, notShown);
    if (notShown.isEmpty()) {
        QCOMPARE(status(), QStringLiteral("Параметры прочитаны."));
    } else {
        QVERIFY2(status().contains(QStringLiteral("Не помещается в поле")), qPrintable(status()));
        QVERIFY2(status().contains(notShown), qPrintable(status()));
    }
}

void TestMainWindowActions::readParametersWithFailedReads()
{
    pager.answerRegisters = false;
    pager.ignore << QStringLiteral("read_enter_time");
    for (const char *name : {"edtSn", "edtSg", "edtMED"})
        edit(name)->setText(QStringLiteral("7"));

    trigger("menuConnect");

    // Nothing the pager did not give is shown as if it were its setting.
    QCOMPARE(edit("edtSn")->text(), QString());
    QCOMPARE(edit("edtSg")->text(), QString());
    QCOMPARE(edit("edtMED")->text(), QString());
    QCOMPARE(edit("edtThist")->text(), QStringLiteral("10"));
    QCOMPARE(find<QDateTimeEdit>("dtDevice")->dateTime(), deviceEpoch());
    QCOMPARE(find<QLabel>("lblSN")->text(), QStringLiteral("SN: 05A00317"));
    const QString s = status();
    QCOMPARE(s, QStringLiteral("Прибор не ответил на чтение: часы, нейтроны, гамма, порог."));
    QVERIFY(!s.contains(QStringLiteral("интервал")));
    QVERIFY(usbfake::openHandles().isEmpty());
}

void TestMainWindowActions::noPagerChangesNothing_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("isButton");
    QTest::newRow("read parameters") << "menuConnect" << false;
    QTest::newRow("read history") << "menuReadHistory" << false;
    QTest::newRow("sync") << "btnSync" << true;
    QTest::newRow("neutron") << "btnSaveSn" << true;
    QTest::newRow("gamma") << "btnSaveSg" << true;
    QTest::newRow("threshold") << "btnSaveMED" << true;
    QTest::newRow("interval") << "btnSaveThist" << true;
}

void TestMainWindowActions::noPagerChangesNothing()
{
    QFETCH(QString, action);
    QFETCH(bool, isButton);
    usbfake::setDeviceCount(0);
    for (const char *name : {"edtSn", "edtSg", "edtMED", "edtThist"})
        edit(name)->setText(QStringLiteral("2"));
    const QDateTime device = find<QDateTimeEdit>("dtDevice")->dateTime();
    answerMessageBox(answerers.get(), QMessageBox::AcceptRole); // 2 Зв/ч is unusual

    if (isButton)
        click(action.toLatin1().constData());
    else
        trigger(action.toLatin1().constData());

    QVERIFY(usbfake::writes().isEmpty());
    QCOMPARE(find<QLabel>("lblSN")->text(), QStringLiteral("SN: "));
    QCOMPARE(find<QLabel>("lblHistoryPage")->text(), QStringLiteral("Считанных страниц:"));
    QCOMPARE(find<QDateTimeEdit>("dtDevice")->dateTime(), device);
    // The PC's clock runs whatever happens.
    QVERIFY(qAbs(find<QDateTimeEdit>("dtPC")->dateTime().secsTo(QDateTime::currentDateTime())) <
            60);
    // The field of a store button shows what the pager reported: nothing yet.
    for (const char *name : {"edtSn", "edtSg", "edtMED", "edtThist"})
        QCOMPARE(edit(name)->text(), action == "btnSave" + QString(name + 3) ? QString() : "2");
    QVERIFY2(status().startsWith(QStringLiteral("Прибор не ответил")), qPrintable(status()));
}

// The Windows backend finds no usable vendor library: the status bar says which
// file and why, not that the pager did not answer.
void TestMainWindowActions::unusableLibraryIsNamed_data()
{
    using Kind = usbx::LibraryProblem::Kind;
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("why"); // after the library's name
    QTest::newRow("entry point missing")
        << int(Kind::MissingEntryPoint) << "не подходит: в ней нет функции SI_GetPartNumber.";
    QTest::newRow("not loaded") << int(Kind::NotLoaded)
                                << QStringLiteral("не загружена (код ошибки Windows 193): нужна "
                                                  "%1-битная SiUSBXp.dll рядом с программой или "
                                                  "в системном пути.")
                                       .arg(QT_POINTER_SIZE * 8);
}

void TestMainWindowActions::unusableLibraryIsNamed()
{
    QFETCH(int, kind);
    QFETCH(QString, why);
    usbx::LibraryProblem problem;
    problem.kind = usbx::LibraryProblem::Kind(kind);
    problem.library = "C:/Программа/SiUSBXp.dll";
    problem.entryPoint = "SI_GetPartNumber";
    problem.systemError = 193;
    usbfake::setLibraryProblem(problem);
    usbfake::setDeviceCount(0, usbx::ErrorDevice);
    trigger("menuConnect");
    QCOMPARE(status(), QDir::toNativeSeparators("Библиотека USB C:/Программа/SiUSBXp.dll ") + why);
}

// ---- store a setting ------------------------------------------------------

void TestMainWindowActions::severalPagersAreChosenFrom()
{
    FakePager other;
    other.serial = QStringLiteral("05A00400");
    FakePager::plugIn({&pager, &other});
    const QDateTime read(QDate(2026, 5, 1), QTime(9, 30)); // the second pager's last read
    window->setLastReadLookup(
        [&](const QString &sn) { return sn == other.serial ? read : QDateTime(); });
    // The first chooser is cancelled, the second answered with the second
    // pager, any later one cancelled.
    QStringList cells; // of every chooser shown
    QTimer poll;
    connect(&poll, &QTimer::timeout, &poll, [&]() {
        QWidget *dialog = QApplication::activeModalWidget();
        auto *table = dialog ? dialog->findChild<QTableWidget *>("tblPagers") : nullptr;
        if (!table)
            return;
        for (int r = 0; r < table->rowCount(); ++r)
            cells << table->item(r, 0)->text() << table->item(r, 1)->text();
        table->selectRow(1);
        QMetaObject::invokeMethod(dialog, cells.size() == 8 ? "accept" : "reject");
    });
    poll.start(10);
    trigger("menuConnect");
    QCOMPARE(status(), tr("Прибор не выбран: отвечают несколько приборов (05A00317, 05A00400)."));
    trigger("menuConnect");
    const QStringList shown{"05A00317", "—", "05A00400", "01.05.2026 09:30"};
    QCOMPARE(cells, shown + shown);
    QCOMPARE(find<QLabel>("lblSN")->text(), QStringLiteral("SN: 05A00400"));
    // The next action keeps to the chosen pager without asking again.
    edit("edtThist")->setText(QStringLiteral("45"));
    click("btnSaveThist");
    QCOMPARE(cells.size(), 8);
    QCOMPARE(other.interval, 45u);
    QCOMPARE(pager.interval, 10u);
    QVERIFY(usbfake::openHandles().isEmpty());
}

void TestMainWindowActions::storeSetting_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("neutron") << "btnSaveSn"
                             << "edtSn"
                             << "4.5"
                             << "Нейтронный канал: значение 4.5 сохранено в приборе.";
    QTest::newRow("gamma, comma") << "btnSaveSg"
                                  << "edtSg"
                                  << "2,5"
                                  << "Гамма канал: значение 2.5 сохранено в приборе.";
    QTest::newRow("threshold, exponent") << "btnSaveMED"
                                         << "edtMED"
                                         << "1.5e-6"
                                         << "Порог МЭД: значение 1.5e-06 сохранено в приборе.";
    QTest::newRow("threshold, comma") << "btnSaveMED"
                                      << "edtMED"
                                      << " 1,5 "
                                      << "Порог МЭД: значение 1.5 сохранено в приборе.";
    QTest::newRow("interval") << "btnSaveThist"
                              << "edtThist"
                              << "65535"
                              << "Интервал истории 65535 мин сохранён в приборе.";
    QTest::newRow("interval zero") << "btnSaveThist"
                                   << "edtThist"
                                   << "0"
                                   << "Интервал истории 0 мин сохранён в приборе.";
    QTest::newRow("interval, Enter") << "btnSaveThist"
                                     << "edtThist"
                                     << "65535"
                                     << "Интервал истории 65535 мин сохранён в приборе.";
}

void TestMainWindowActions::storeSetting()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QLineEdit *typed = edit(field.toLatin1().constData());
    typed->setText(text);
    // 1.5 Зв/ч and 0 min are far outside normal use: sent once confirmed.
    answerMessageBox(answerers.get(), QMessageBox::AcceptRole);

    if (QByteArray(QTest::currentDataTag()).endsWith("Enter"))
        QTest::keyClick(typed, Qt::Key_Return);
    else
        click(button.toLatin1().constData());

    QTEST(status(), "message");
    QVERIFY(usbfake::openHandles().isEmpty());
    QCOMPARE(pager.words.constFirst(), QStringLiteral("get_ID"));
    // The clock is read after the change: the contact's clock offset.
    QCOMPARE(pager.words.constLast(), QStringLiteral("read_enter_time"));
    if (button == QLatin1String("btnSaveSn")) {
        QCOMPARE(pager.neutronTenths, std::uint16_t(45));
        QCOMPARE(pager.gammaTenths, std::uint16_t(30));
    } else if (button == QLatin1String("btnSaveSg")) {
        QCOMPARE(pager.gammaTenths, std::uint16_t(25));
        QCOMPARE(pager.neutronTenths, std::uint16_t(35));
    } else if (button == QLatin1String("btnSaveMED")) {
        const float expected = text.contains(QLatin1Char('e')) ? 1.5e-6f : 1.5f;
        QCOMPARE(pager.thresholdWord, encodeDeviceFloatWord(expected));
    } else {
        QCOMPARE(pager.words.at(pager.words.size() - 2), QStringLiteral("set_hist_time"));
        QCOMPARE(pager.interval, text.toUInt());
        QVERIFY(pager.frames.isEmpty());
    }
    // Nothing is read back; the field shows the value as the pager keeps it.
    QVERIFY(status().contains(QLatin1Char(' ') + typed->text() + QLatin1Char(' ')));
}

void TestMainWindowActions::storedSigmaReadsBackInTenths()
{
    edit("edtSg")->setText(QStringLiteral("3.57"));
    click("btnSaveSg");
    QCOMPARE(status(), QStringLiteral("Гамма канал: значение 3.5 сохранено в приборе."));
    trigger("menuConnect");
    QCOMPARE(edit("edtSg")->text(), QStringLiteral("3.5"));
}

void TestMainWindowActions::unusableTextIsNotSent_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("reason");

    const QString nan = QStringLiteral("не число");
    const QString sigmaRange = QStringLiteral("вне допустимого диапазона (от 0 до 6553,5)");
    const QString thresholdRange = QStringLiteral("вне допустимого диапазона (от 0 до 3,4e38)");
    const QString interval = QStringLiteral("не целое число минут");
    QTest::newRow("letters, threshold") << "btnSaveMED"
                                        << "edtMED"
                                        << "abc" << nan;
    QTest::newRow("empty, neutron") << "btnSaveSn"
                                    << "edtSn"
                                    << "" << nan;
    QTest::newRow("trailing junk, gamma") << "btnSaveSg"
                                          << "edtSg"
                                          << "3x" << nan;
    QTest::newRow("two separators") << "btnSaveMED"
                                    << "edtMED"
                                    << "1,5.2" << nan;
    QTest::newRow("negative sigma") << "btnSaveSn"
                                    << "edtSn"
                                    << "-1" << sigmaRange;
    QTest::newRow("sigma past the wire") << "btnSaveSg"
                                         << "edtSg"
                                         << "6600" << sigmaRange;
    QTest::newRow("sigma past a float") << "btnSaveSn"
                                        << "edtSn"
                                        << "1e39" << sigmaRange;
    QTest::newRow("infinite threshold") << "btnSaveMED"
                                        << "edtMED"
                                        << "1e999" << thresholdRange;
    QTest::newRow("threshold below a float") << "btnSaveMED"
                                             << "edtMED"
                                             << "1,5e-50" << thresholdRange;
    QTest::newRow("negative threshold") << "btnSaveMED"
                                        << "edtMED"
                                        << "-1e-5" << thresholdRange;
    QTest::newRow("negative interval") << "btnSaveThist"
                                       << "edtThist"
                                       << "-5" << interval;
    QTest::newRow("letters, interval") << "btnSaveThist"
                                       << "edtThist"
                                       << "abc" << interval;
    QTest::newRow("fraction, interval") << "btnSaveThist"
                                        << "edtThist"
                                        << "1.5" << interval;
    QTest::newRow("interval too large") << "btnSaveThist"
                                        << "edtThist"
                                        << "70000" << interval;
}

void TestMainWindowActions::unusableTextIsNotSent()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(QString, reason);
    edit(field.toLatin1().constData())->setText(text);

    click(button.toLatin1().constData());

    // Not even a connection: the pager's settings stay as they were.
    QVERIFY(usbfake::writes().isEmpty());
    QCOMPARE(pager.neutronTenths, std::uint16_t(35));
    QCOMPARE(pager.gammaTenths, std::uint16_t(30));
    QCOMPARE(pager.thresholdWord, encodeDeviceFloatWord(1.0e-5f));
    QCOMPARE(pager.interval, 10u);
    QVERIFY2(status().contains(reason), qPrintable(status()));
}

void TestMainWindowActions::refusedWriteIsReported_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("silent");    // no answer at all instead of a refusal
    QTest::addColumn<bool>("unplugged"); // no pager: «Прибор не ответил»
    QTest::addColumn<QString>("shown");  // the field afterwards: read before, or nothing
    for (bool silent : {false, true})
        for (const char *field : {"Sn", "Sg", "MED", "Thist"})
            QTest::addRow("%s %s", field, silent ? "unanswered" : "refused")
                << QStringLiteral("btnSave%1").arg(field) << QStringLiteral("edt%1").arg(field)
                << silent << false << QString();
    QTest::newRow("MED unanswered, read before") << "btnSaveMED"
                                                 << "edtMED" << true << false << "1e-05";
    QTest::newRow("Thist, pager gone, read before") << "btnSaveThist"
                                                    << "edtThist" << false << true << "10";
}

void TestMainWindowActions::refusedWriteIsReported()
{
    QFETCH(QString, button);
    QFETCH(QString, field);
    QFETCH(bool, silent);
    QFETCH(bool, unplugged);
    QFETCH(QString, shown);
    if (!shown.isEmpty())
        trigger("menuConnect");
    pager.refuseWrites = true;
    if (silent) {
        pager.answerRegisters = false;
        pager.ignore << QStringLiteral("set_hist_time");
    }
    if (unplugged)
        usbfake::setDeviceCount(0);
    QLineEdit *typed = edit(field.toLatin1().constData());
    const QPalette plain = typed->palette();
    typed->setText(QStringLiteral("2"));
    // Typed, not stored: marked.
    QVERIFY(typed->palette().color(QPalette::Base) != plain.color(QPalette::Base));
    answerMessageBox(answerers.get(), QMessageBox::AcceptRole); // 2 Зв/ч is unusual

    click(button.toLatin1().constData());

    QVERIFY2(status().contains(unplugged
                                   ? QStringLiteral("Прибор не ответил")
                                   : QStringLiteral("прибор отклонил или не подтвердил значение")),
             qPrintable(status()));
    QVERIFY(!status().contains(QStringLiteral("сохран")));
    QVERIFY(usbfake::openHandles().isEmpty());
    // What the pager holds, unmarked: not the value it did not take.
    QCOMPARE(typed->text(), shown);
    QCOMPARE(typed->palette().color(QPalette::Base), plain.color(QPalette::Base));
}

void TestMainWindowActions::unusualValueAsksFirst_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("asked"); // the value and unit named; empty: sent unasked
    // clang-format off
    const char *rows[][3] = {
        {"btnSaveSn", "1", ""},          {"btnSaveSg", "10", ""},
        {"btnSaveSn", "0.9", "0.9 сигм"}, {"btnSaveSg", "10.1", "10.1 сигм"},
        {"btnSaveMED", "1e-7", ""},      {"btnSaveMED", "0,001", ""},
        {"btnSaveMED", "9e-8", "9e-08 Зв/ч"}, {"btnSaveMED", "100000", "100000 Зв/ч"},
        {"btnSaveThist", "1440", ""},    {"btnSaveThist", "0", "0 мин"},
        {"btnSaveThist", "1441", "1441 мин"},
    };
    // clang-format on
    for (const auto &r : rows)
        QTest::addRow("%s %s", r[0], r[1]) << r[0] << r[1] << QString::fromUtf8(r[2]);
}

void TestMainWindowActions::unusualValueAsksFirst()
{
    QFETCH(QString, button);
    QFETCH(QString, text);
    QFETCH(QString, asked);
    edit(("edt" + button.mid(7)).toLatin1().constData())->setText(text);
    const auto question = answerMessageBox(answerers.get(), QMessageBox::RejectRole);

    click(button.toLatin1().constData());

    QVERIFY2(question->contains(asked), qPrintable(*question));
    QCOMPARE(question->isEmpty(), asked.isEmpty());
    // Declined: not even a connection.
    QCOMPARE(usbfake::writes().isEmpty(), !asked.isEmpty());
}

// ---- clock ----------------------------------------------------------------

void TestMainWindowActions::syncSetsDeviceClock()
{
    const qint64 before = deviceEpoch().secsTo(QDateTime::currentDateTime()) / 60;
    click("btnSync");
    const qint64 after = deviceEpoch().secsTo(QDateTime::currentDateTime()) / 60;

    // Set, then read back within the same connection.
    QCOMPARE(pager.words, (QStringList{QStringLiteral("get_ID"), QStringLiteral("set_enter_time"),
                                       QStringLiteral("read_enter_time")}));
    QCOMPARE(pager.values.size(), 1);
    const qint64 sent = pager.values.constFirst().toLongLong(nullptr, 16);
    QVERIFY2(sent >= before && sent <= after, qPrintable(pager.values.constFirst()));
    QVERIFY2(status().startsWith(QStringLiteral("Часы прибора установлены: ")),
             qPrintable(status()));
    // The pager's clock shows what it read back, the PC's the time now, and
    // the PC's runs on (set back here, the next second puts it right).
    QCOMPARE(find<QDateTimeEdit>("dtDevice")->dateTime(), deviceEpoch().addSecs(sent * 60));
    auto *pc = find<QDateTimeEdit>("dtPC");
    QVERIFY(qAbs(pc->dateTime().secsTo(QDateTime::currentDateTime())) < 60);
    pc->setDateTime(deviceEpoch());
    QTRY_VERIFY(qAbs(pc->dateTime().secsTo(QDateTime::currentDateTime())) < 60);
    QVERIFY(usbfake::openHandles().isEmpty());
}

void TestMainWindowActions::syncWithoutConfirmation_data()
{
    QTest::addColumn<QString>("unanswered");
    QTest::addColumn<bool>("keepsClock"); // answers the setting, keeps its own clock
    QTest::addColumn<QDateTime>("shown"); // the pager's clock field afterwards
    QTest::newRow("setting unanswered") << "set_enter_time" << false << deviceEpoch();
    QTest::newRow("read-back unanswered") << "read_enter_time" << false << deviceEpoch();
    QTest::newRow("clock kept") << "" << true
                                << deviceEpoch().addSecs(qint64(FakePager().clockMinutes) * 60);
}

void TestMainWindowActions::syncWithoutConfirmation()
{
    QFETCH(QString, unanswered);
    QFETCH(bool, keepsClock);
    QFETCH(QDateTime, shown);
    pager.ignore << unanswered;
    pager.keepsClock = keepsClock;
    click("btnSync");
    QCOMPARE(status(), QStringLiteral("Прибор не подтвердил установку часов."));
    // What the pager read back, not the time sent; nothing when it said nothing.
    QCOMPARE(find<QDateTimeEdit>("dtDevice")->dateTime(), shown);
    QVERIFY(usbfake::openHandles().isEmpty());
}

// ---- help -----------------------------------------------------------------

static QByteArray fileBytes(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestMainWindowActions::helpCopiesAndOpens()
{
    const QString besideProgram = QCoreApplication::applicationDirPath() + "/hlp.pdf";
    QFile::remove(besideProgram);
    UrlRecorder opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "openUrl");

    trigger("menuHelp");
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    QCOMPARE(opener.urls, QList<QUrl>{QUrl::fromLocalFile(besideProgram)});
    const QByteArray help = fileBytes(QStringLiteral(":/text/resources/help.pdf"));
    QVERIFY(help.startsWith("%PDF-"));
    QCOMPARE(fileBytes(besideProgram), help);
    // The copy of a read-only resource stays the user's to replace or remove.
    QVERIFY(QFileInfo(besideProgram).permissions() & QFileDevice::WriteOwner);
    QVERIFY2(status().startsWith(QStringLiteral("Справка открыта")), qPrintable(status()));
    QVERIFY(usbfake::calls().isEmpty());
    QFile::remove(besideProgram);
}

void TestMainWindowActions::helpOpensExistingFileUnchanged()
{
    const QString besideProgram = QCoreApplication::applicationDirPath() + "/hlp.pdf";
    QFile::remove(besideProgram);
    {
        QFile f(besideProgram);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("a help file of our own");
    }
    UrlRecorder opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "openUrl");
    trigger("menuHelp");
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));

    QCOMPARE(opener.urls, QList<QUrl>{QUrl::fromLocalFile(besideProgram)});
    QCOMPARE(fileBytes(besideProgram), QByteArray("a help file of our own"));
    QFile::remove(besideProgram);
}

void TestMainWindowActions::helpFallsBackToWritableFolder_data()
{
    const QString resource = QStringLiteral(":/text/resources/help.pdf");
    const QByteArray help = fileBytes(resource), older = "%PDF-1.4\nan older help\n%%EOF\n";
    QTest::addColumn<QString>("resource");
    QTest::addColumn<QByteArray>("copy");   // already in the fallback folder; empty: none
    QTest::addColumn<int>("locked");        // 1: that copy read-only, 2: the folder read-only
    QTest::addColumn<QByteArray>("opened"); // bytes of the file opened; empty: none
    QTest::newRow("first copy") << resource << QByteArray() << 0 << help;
    QTest::newRow("equal copy reused") << resource << help << 0 << help;
    QTest::newRow("stale read-only copy replaced") << resource << QByteArray("old") << 1 << help;
    QTest::newRow("stale copy kept, whole") << resource << older << 2 << older;
    QTest::newRow("stale copy kept, cut short") << resource << older.left(12) << 2 << QByteArray();
    QTest::newRow("no help in the program") << ":/no/such.pdf" << QByteArray() << 0 << QByteArray();
    // As "first copy", but no program folder given.
    QTest::newRow("installed program") << resource << QByteArray() << 0 << help;
}

void TestMainWindowActions::helpFallsBackToWritableFolder()
{
    QFETCH(QString, resource);
    QFETCH(QByteArray, copy);
    QFETCH(int, locked);
    QFETCH(QByteArray, opened);
    const bool installed = QByteArray(QTest::currentDataTag()) == "installed program";
    QTemporaryDir dir;
    const QString fallbackDir = dir.filePath(QStringLiteral("user/help"));
    const QString path = fallbackDir + "/hlp.pdf";
    QVERIFY(QDir().mkpath(fallbackDir));
    const QDateTime old(QDate(2020, 1, 1), QTime(12, 0));
    QFile f(path);
    if (!copy.isEmpty()) {
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(copy) == copy.size() && f.flush());
        QVERIFY(f.setFileTime(old, QFileDevice::FileModificationTime));
        f.close();
        f.setPermissions(locked == 1 ? QFileDevice::ReadOwner : f.permissions());
    }
    const auto restore = readOnlyFolder(fallbackDir, locked == 2);
    if (locked == 2 && QFileInfo(fallbackDir).isWritable()) // root writes in any folder
        QSKIP("a read-only folder does not stop this user");

    // The program folder cannot take the copy (here: it is not there), or an
    // installed program names none (and must not write "/hlp.pdf").
    QString error;
    const QString got = prepareHelpFile(
        resource, installed ? QString() : dir.filePath(QStringLiteral("program/missing")),
        fallbackDir, &error);
    if (opened.isEmpty()) {
        QCOMPARE(got, QString());
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(got, path);
    QCOMPARE(fileBytes(path), opened);
    if (copy == opened) // reused as it is, not written again
        QCOMPARE(QFileInfo(path).lastModified(), old);
    else
        QVERIFY(QFileInfo(path).permissions() & QFileDevice::WriteOwner);
}

// ---- history --------------------------------------------------------------

void TestMainWindowActions::fillTwoPageHistory()
{
    pager.pages << FakePager::page(1, FakePager::record(100, 'F', 12, 0.5f, 1.0e-7f, 2.0e-6f) +
                                          FakePager::record(160, 'A', 900, 0.5f, 3.0e-5f, 2.1e-6f));
    pager.pages << FakePager::page(2, FakePager::record(220, '1', 10, 0.0f, 1.0e-7f, 2.2e-6f) +
                                          FakePager::record(0, '0', 0, 0.0f, 0.0f, 0.0f));
}

void TestMainWindowActions::historyFillsTable()
{
    fillTwoPageHistory();
    trigger("menuReadHistory");

    const QAbstractItemModel *model = find<QTableView>("tableView")->model();
    QCOMPARE(model->rowCount(), 3);
    QCOMPARE(model->columnCount(), 6);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("Фон"));
    QCOMPARE(model->index(1, 1).data().toString(), QStringLiteral("Тревога гамма"));
    QCOMPARE(model->index(2, 1).data().toString(), QStringLiteral("Включение прибора"));
    for (int c = 0; c < 6; ++c) {
        QCOMPARE(model->index(1, c).data(Qt::ForegroundRole).value<QBrush>().color(),
                 QColor(255, 0, 0));
        QVERIFY(!model->index(0, c).data(Qt::ForegroundRole).isValid());
    }
    QCOMPARE(find<QLabel>("lblHistoryPage")->text(), QStringLiteral("Считанных страниц: 2"));
    QVERIFY2(status().startsWith(QStringLiteral("История прочитана: 3 записи, 2 стр. за ")),
             qPrintable(status()));
    // The clock is read after the download, for its offset.
    QCOMPARE(pager.words,
             (QStringList{QStringLiteral("get_ID"), QStringLiteral("info"),
                          QStringLiteral("read_history"), QStringLiteral("read_history"),
                          QStringLiteral("read_enter_time")}));
    QVERIFY(usbfake::openHandles().isEmpty());

    // A second download replaces the rows, it does not add to them.
    pager.pages << FakePager::page(1, FakePager::record(300, 'C', 1, 0.0f, 1.0e-7f, 2.0e-6f) +
                                          FakePager::record(0, '0', 0, 0.0f, 0.0f, 0.0f));
    trigger("menuReadHistory");
    QCOMPARE(model->rowCount(), 1);
    QCOMPARE(model->index(0, 1).data().toString(), QStringLiteral("Калибровка"));
    QCOMPARE(find<QLabel>("lblHistoryPage")->text(), QStringLiteral("Считанных страниц: 1"));
}

void TestMainWindowActions::historyFromSilentPagerIsIncomplete()
{
    fillTwoPageHistory();
    pager.pages.removeLast(); // the pager goes quiet after the first page

    trigger("menuReadHistory");

    const QAbstractItemModel *model = find<QTableView>("tableView")->model();
    QCOMPARE(model->rowCount(), 2);
    QCOMPARE(find<QLabel>("lblHistoryPage")->text(), QStringLiteral("Считанных страниц: 1"));
    QVERIFY2(status().startsWith(QStringLiteral("История прочитана не полностью")),
             qPrintable(status()));
    QVERIFY2(status().contains(QStringLiteral(": 2 записи, 1 стр. за ")), qPrintable(status()));
    // Bounded: a handful of repeated requests, then the link is closed.
    QVERIFY(pager.words.count(QStringLiteral("read_history")) <= 8);
    QVERIFY(usbfake::openHandles().isEmpty());
}

void TestMainWindowActions::deviceActionsHeldBackDuringDownload()
{
    fillTwoPageHistory();
    edit("edtSn")->setText(QStringLiteral("5"));
    // Should a save wrongly open its dialog, the dialog is cancelled.
    answerFileDialog(QString());
    answerFileDialog(QString());
    // Runs from the events the download lets through after its first page.
    QStringList refusals;
    QTimer::singleShot(0, this, [&]() {
        // Saves too: the table is empty until the download ends.
        for (const char *name : {"menuConnect", "btnSaveSn", "btnSync", "menuReadHistory",
                                 "menuSaveHistory", "menuPrintHistory"}) {
            clearStatus();
            name[0] == 'b' ? click(name) : trigger(name);
            refusals << status();
        }
    });

    trigger("menuReadHistory");

    const QString busy =
        QStringLiteral("Идёт чтение истории: дождитесь его конца или нажмите Esc.");
    QVERIFY2(refusals.count(busy) == 6, qPrintable(refusals.join(QLatin1Char('\n'))));
    QCOMPARE(pager.words.count(QStringLiteral("get_ID")), 1);
    QVERIFY(pager.frames.isEmpty());
    QVERIFY(!pager.words.contains(QStringLiteral("set_enter_time")));
    QCOMPARE(find<QTableView>("tableView")->model()->rowCount(), 3);
    QVERIFY2(status().startsWith(QStringLiteral("История прочитана: 3 записи")),
             qPrintable(status()));

    // Once the download is over the actions work again.
    trigger("menuConnect");
    QCOMPARE(status(), QStringLiteral("Параметры прочитаны."));
}

// ---- saving the table -----------------------------------------------------

void TestMainWindowActions::saveCsvThroughDialog()
{
    fillTwoPageHistory();
    trigger("menuReadHistory");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString name = dir.filePath(QStringLiteral("история.csv"));
    // A date changed by hand is asked about once: kept for this report only.
    answerDialog(answerers.get(), "calibrationDialog", false);
    QDateEdit *date = find<QDateEdit>("dateControl");
    date->setFocus();
    date->setDate(QDate(2021, 3, 5));

    answerFileDialog(name);
    trigger("menuSaveHistory");

    const QByteArray written = fileBytes(name);
    QCOMPARE(written, historyCsv(find<QTableView>("tableView")->model(), QDate(2021, 3, 5)));
    QVERIFY(written.contains("05.03.2021"));
    QVERIFY(written.contains("Тревога гамма"));
    QVERIFY2(status().startsWith(QStringLiteral("История сохранена: ")), qPrintable(status()));
    QVERIFY(window->historyArchive().calibrations(QString()).isEmpty());

    // The dialog's second file type: the file for programs.
    const QString machine = dir.filePath(QStringLiteral("machine.csv"));
    answerFileDialog(machine, [](QFileDialog *dialog) {
        dialog->selectNameFilter(dialog->nameFilters().value(1));
    });
    trigger("menuSaveHistory");
    QCOMPARE(fileBytes(machine),
             recordsText(find<QTableView>("tableView")->model(), RecordFormat::Csv));
}

// Records what a label shows each time it is painted.
class PaintedTexts : public QObject
{
public:
    QStringList texts;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            texts << static_cast<QLabel *>(watched)->text();
        return false;
    }
};

void TestMainWindowActions::savePdfThroughDialog()
{
    // Enough rows for a journal of several sheets.
    for (int p = 0; p < 6; ++p) {
        QList<std::uint16_t> words;
        for (int r = 0; r < 40; ++r)
            words << FakePager::record(100 + 40 * p + r, 'F', 12, 0.5f, 1.0e-7f, 2.0e-6f);
        pager.pages << FakePager::page(p + 1, words);
    }
    pager.pages << FakePager::page(7, FakePager::record(0, '0', 0, 0.0f, 0.0f, 0.0f));
    trigger("menuReadHistory");
    PaintedTexts painted;
    find<QLabel>("lblStatus")->installEventFilter(&painted);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Typed without a suffix: the dialog adds it, here and to a CSV file.
    const QString name = dir.filePath(QStringLiteral("journal"));
    answerFileDialog(dir.filePath(QStringLiteral("live")));
    trigger("menuSaveHistory");
    QVERIFY(QFile::exists(dir.filePath(QStringLiteral("live.csv"))));

    // The next dialog starts in that folder and offers the journal's name.
    QString offered, folder;
    answerFileDialog(name, [&](QFileDialog *dialog) {
        if (!offered.isEmpty())
            return;
        offered = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
        folder = QFileInfo(dialog->directory().path()).canonicalFilePath();
    });
    trigger("menuPrintHistory");

    QCOMPARE(offered, QStringLiteral("Журнал_05A00317_%1.pdf")
                          .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
    QCOMPARE(folder, QFileInfo(dir.path()).canonicalFilePath());
    QVERIFY(!QFile::exists(name));
    QVERIFY(fileBytes(name + ".pdf").startsWith("%PDF-"));

    // Each sheet (two at least) told as it was written, then their number.
    QStringList sheets = painted.texts.filter(QStringLiteral("Сохранение отчёта"));
    sheets.removeDuplicates();
    const int count = sheets.size();
    QStringList told;
    for (int n = 1; n <= qMax(2, count); ++n)
        told << QStringLiteral("Сохранение отчёта: лист %1 из %2…").arg(n).arg(count);
    QCOMPARE(sheets, told);
    QCOMPARE(status(), QStringLiteral("Отчёт сохранён: %1 (%2)")
                           .arg(QDir::toNativeSeparators(name + ".pdf"),
                                russianCount(count, QStringLiteral("лист"), QStringLiteral("листа"),
                                             QStringLiteral("листов"))));
}

void TestMainWindowActions::cancelledSaveWritesNothing()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // An empty table is not saved: no dialog, the reason told.
    trigger("menuPrintHistory");
    QVERIFY2(status().startsWith(QStringLiteral("Отчёт не сохранён: таблица истории пуста.")),
             qPrintable(status()));
    fillTwoPageHistory();
    trigger("menuReadHistory");
    clearStatus();
    // The dialogs open in the folder used last: anything written by mistake lands here.
    rememberUsedFolder(dir.filePath(QStringLiteral("earlier.csv")));
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    answerFileDialog(QString());
    trigger("menuSaveHistory");
    answerFileDialog(QString());
    trigger("menuPrintHistory");
    QDir::setCurrent(previous);
    QVERIFY(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
    QCOMPARE(status(), QString());
}

void TestMainWindowActions::saveDialogStartsInExistingFolder_data()
{
    QTest::addColumn<bool>("documents");    // the home folder holds Documents
    QTest::addColumn<bool>("rememberGone"); // a folder used last, since removed
    QTest::newRow("new account") << false << false;
    QTest::newRow("documents folder") << true << false;
    QTest::newRow("last folder gone") << false << true;
}

void TestMainWindowActions::saveDialogStartsInExistingFolder()
{
    QFETCH(bool, documents);
    QFETCH(bool, rememberGone);
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    const auto restore = qScopeGuard([&] { qputenv("HOME", savedHome); });
    const QString expected = documents ? home.filePath(QStringLiteral("Documents")) : home.path();
    QVERIFY(QDir().mkpath(expected));
    if (rememberGone)
        rememberUsedFolder(home.filePath(QStringLiteral("gone/earlier.csv")));
    fillTwoPageHistory();
    trigger("menuReadHistory");
    // The offered name lies in that folder, so that Enter on it saves there.
    QString offered;
    answerFileDialog(QStringLiteral("h"),
                     [&](QFileDialog *dialog) { offered = dialog->selectedFiles().value(0); });
    trigger("menuSaveHistory");
    QCOMPARE(QFileInfo(offered).absolutePath(), expected);
}

void TestMainWindowActions::failedSaveIsReported()
{
    fillTwoPageHistory();
    trigger("menuReadHistory");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A folder takes the chosen name just after the dialog closes: the file
    // cannot be written there.
    auto taken = [](QFileDialog *dialog) {
        connect(dialog, &QFileDialog::fileSelected, dialog,
                [](const QString &name) { QDir().mkdir(name); });
    };

    // The reason in Russian, the path once.
    const auto failure = [&](const char *name) {
        return QStringLiteral("Файл не сохранён: %1 — это имя папки.")
            .arg(QDir::toNativeSeparators(dir.filePath(QLatin1String(name))));
    };
    answerFileDialog(dir.filePath(QStringLiteral("history.csv")), taken);
    trigger("menuSaveHistory");
    QCOMPARE(status(), failure("history.csv"));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("history.csv"))).isDir());

    clearStatus();
    answerFileDialog(dir.filePath(QStringLiteral("journal.pdf")), taken);
    trigger("menuPrintHistory");
    QCOMPARE(status(), failure("journal.pdf"));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("journal.pdf"))).isDir());

    // Nothing half-written is left beside them.
    QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size(), 2);
}

// ---- exit -----------------------------------------------------------------

void TestMainWindowActions::exitEndsEventLoopWithZero()
{
    QTimer::singleShot(0, this, [this]() { trigger("menuExit"); });
    QCOMPARE(qApp->exec(), 0);
    QVERIFY(!window->isVisible());
    QVERIFY(usbfake::calls().isEmpty());
}

void TestMainWindowActions::downloadStopsAfterCurrentPage_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Escape") << "escape";
    // The menu bar keeps the key that follows for itself.
    QTest::newRow("Escape after a menu closed with Escape") << "escape after menu";
    QTest::newRow("«Выход»") << "menu";
    QTest::newRow("close button") << "close";
}

void TestMainWindowActions::downloadStopsAfterCurrentPage()
{
    QFETCH(QString, how);
    const bool exits = !how.startsWith(QLatin1String("escape"));
    fillTwoPageHistory();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    // Run in the event loop, as for the operator; stopped after its first page.
    QTimer::singleShot(0, this, [this, exits]() {
        trigger("menuReadHistory");
        if (!exits)
            qApp->quit();
    });
    QTimer::singleShot(0, this, [this, how]() {
        if (how == QLatin1String("escape after menu")) {
            window->menuBar()->setActiveAction(window->menuBar()->actions().constFirst());
            QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
        }
        if (how.startsWith(QLatin1String("escape")))
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget()
                                                        : window.get(),
                            Qt::Key_Escape);
        else if (how == QLatin1String("menu"))
            trigger("menuExit");
        else
            window->close();
    });
    QCOMPARE(qApp->exec(), 0);

    // The second page was never asked for; the first page's rows are kept.
    QCOMPARE(pager.words.count(QStringLiteral("read_history")), 1);
    QCOMPARE(find<QTableView>("tableView")->model()->rowCount(), 2);
    QVERIFY2(
        status().startsWith(QStringLiteral("Чтение истории остановлено: 2 записи, 1 стр. за ")),
        qPrintable(status()));
    QVERIFY(!window->isDeviceBusy());
    QVERIFY(usbfake::openHandles().isEmpty());
    QCOMPARE(window->isVisible(), !exits);
}

// ---- the outcome line and the table at the window's size -------------------

void TestMainWindowActions::outcomeSurvivesMenuHover()
{
    fillTwoPageHistory();
    trigger("menuReadHistory");
    const QString outcome = status();
    QVERIFY(outcome.startsWith(QStringLiteral("История прочитана: 3 записи")));

    // Hovering the menu bar sends the entries' (empty) status tips.
    QMenuBar *bar = window->menuBar();
    for (QAction *menu : bar->actions())
        QTest::mouseMove(bar, bar->actionGeometry(menu).center());
    find<QAction>("menuSaveHistory")->showStatusText(bar);
    QCoreApplication::processEvents();

    QCOMPARE(find<QLabel>("lblStatus")->text(), outcome);
    QVERIFY(find<QLabel>("lblStatus")->isVisible());
}

void TestMainWindowActions::outcomeLineFitsWindow()
{
    // The longest messages: every read unanswered, the longest texts the fields take ...
    pager.answerRegisters = false;
    pager.ignore << QStringLiteral("read_enter_time") << QStringLiteral("read_hist_time");
    trigger("menuConnect");
    QStringList shown{status()};
    const char *typed[][2] = {{"edtSn", "65536"},
                              {"edtMED", "-1.234e-05"},
                              {"edtThist", "65536"},
                              {"edtMED", "1.2345e-05"}};
    for (const auto &t : typed) {
        edit(t[0])->setText(QLatin1String(t[1]));
        click(("btnSave" + QByteArray(t[0]).mid(3)).constData());
        shown << status();
    }
    // ... and those built from counts and dates, at their widest.
    shown << historyDownloadMessage(DownloadEnd::Incomplete, 99999, 65536, 3599999)
          << historyDownloadMessage(DownloadEnd::Stopped, 99999, 65536, 359999999)
          << clockSetMessage(PagerLink::ClockSetOutcome::OutOfRange, QDateTime());
    QVERIFY2(shown.last().endsWith(QStringLiteral("01.01.1999 – 24.11.2030 20:15.")),
             qPrintable(shown.last()));

    auto *line = find<StatusLabel>("lblStatus");
    QStringList cut;
    for (const QString &message : shown) {
        line->setMessage(message);
        if (message.isEmpty() || line->text() != message)
            cut << message;
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));

    // A longer one (a long file name, no space in it) is shown whole too: the
    // line is as tall as its wrapped text, inside the window at its size.
    const QString longer = QStringLiteral("Файл не сохранён: %1 — нет такой папки.")
                               .arg(QStringLiteral("/очень/длинный/путь").repeated(12));
    line->setMessage(longer);
    QCOMPARE(line->text(), longer);
    QTRY_COMPARE(line->height(), line->heightForWidth(line->width()));
    QVERIFY(line->height() > StatusLabel::keptLines * line->fontMetrics().lineSpacing());
    QTRY_VERIFY(line->mapTo(window.get(), QPoint(0, line->height())).y() <= window->height());
    QCOMPARE(window->width(), 727);
}

void TestMainWindowActions::headerWrapsOntoTwoLines_data()
{
    // The desktop's usual fonts (Windows and most Linux desktops: 9 or 10 pt).
    QTest::addColumn<int>("pointSize");
    QTest::newRow("9 pt") << 9;
    QTest::newRow("10 pt") << 10;
}

void TestMainWindowActions::headerWrapsOntoTwoLines()
{
    QFETCH(int, pointSize);
    const QFont before = QApplication::font();
    QFont font = before;
    font.setPointSize(pointSize);
    QApplication::setFont(font);
    window = std::make_unique<MainWindow>();
    QApplication::setFont(before);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    QHeaderView *header = find<QTableView>("tableView")->horizontalHeader();
    const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
    const QImage image = header->grab().toImage();
    const QFontMetrics metrics(header->font());
    for (int c = 0; c < header->count(); ++c) {
        // Lines drawn: runs of pixel rows with dark pixels.
        const int left = header->sectionViewportPosition(c) + margin;
        const int right = left + header->sectionSize(c) - 2 * margin;
        int lines = 0;
        bool inLine = false;
        for (int y = 2; y < image.height() - 2; ++y) {
            bool ink = false;
            for (int x = left; x < right && !ink; ++x)
                ink = qGray(image.pixel(x, y)) < 110;
            lines += ink && !inLine;
            inLine = ink;
        }
        // Two whole lines for a text wider than its column, not one cut short.
        const QString text = header->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(lines, metrics.horizontalAdvance(text) <= right - left ? 1 : 2);
        if (c == 3) // «CPS нейтроны (имп/с)»
            QCOMPARE(lines, 2);
    }
}

void TestMainWindowActions::cellToolTipTellsWholeText()
{
    fillTwoPageHistory();
    trigger("menuReadHistory");
    auto *view = find<QTableView>("tableView");
    const QModelIndex index = view->model()->index(1, 1);
    const QPoint at = view->visualRect(index).center();
    QHelpEvent event(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(view->viewport(), &event);

    // The whole text; a flagged record's reasons after it (this row's gap).
    QVERIFY(!index.data().toString().isEmpty());
    const auto flags = std::uint8_t(index.data(historyFlagsRole).toUInt());
    QVERIFY(flags);
    QCOMPARE(QToolTip::text(), index.data().toString() + '\n' + historyFlagTip(flags));
    QToolTip::hideText();
}

void TestMainWindowActions::rowsFitTheirText()
{
    // Every event text, hours of one and two digits.
    QList<std::uint16_t> words;
    const char codes[] = "01ACFNSes";
    for (int i = 0; i < 9; ++i)
        words << FakePager::record(600 + 97 * i, codes[i], 900, 29.5f, 3.0e-5f, 2.1e-6f);
    pager.pages << FakePager::page(1, words + FakePager::record(0, '0', 0, 0.0f, 0.0f, 0.0f));
    pager.pages << pager.pages.constFirst(); // read twice
    window->resize(727, 555);                // as the form opens
    trigger("menuReadHistory");

    auto *view = find<QTableView>("tableView");
    const QAbstractItemView *table = view;
    const QFontMetrics metrics(view->font());
    // Rows cut or too tall; one with a text wider than its column needs two lines.
    const auto misfits = [&]() {
        QStringList found;
        for (int r = 0; r < 9; ++r) {
            bool wraps = false;
            for (int c = 0; c < 6; ++c)
                wraps |= metrics.horizontalAdvance(view->model()->index(r, c).data().toString()) >
                         view->columnWidth(c) - 6;
            if (view->rowHeight(r) != table->sizeHintForRow(r) ||
                (wraps && view->rowHeight(r) < 2 * metrics.lineSpacing()))
                found << QString::number(r);
        }
        return found.join(QLatin1Char(' '));
    };
    QTRY_VERIFY2(misfits().isEmpty(), qPrintable(misfits()));
    // At the form's size, the date goes above the time.
    QVERIFY(view->rowHeight(0) >= 2 * metrics.lineSpacing());
    // Enlarged: wrapped rows come back to one line, also when read again.
    window->resize(1600, 555);
    QTRY_VERIFY2(misfits().isEmpty(), qPrintable(misfits()));
    trigger("menuReadHistory");
    QTRY_VERIFY2(misfits().isEmpty(), qPrintable(misfits()));
}

void TestMainWindowActions::countsAndDurations()
{
    QStringList got;
    for (qint64 n : {0, 1, 2, 4, 5, 11, 14, 21, 22, 111})
        got << russianCount(n, QStringLiteral("запись"), QStringLiteral("записи"),
                            QStringLiteral("записей"));
    for (qint64 ms : {0, 449, 949, 950, 59999, 3599999, 3785000})
        got << russianDuration(ms);
    QCOMPARE(got,
             (QStringList{"0 записей", "1 запись", "2 записи", "4 записи", "5 записей",
                          "11 записей", "14 записей", "21 запись", "22 записи", "111 записей",
                          "0,1 с", "0,4 с", "0,9 с", "1 с", "59 с", "59 мин 59 с", "1 ч 3 мин"}));
}

void TestMainWindowActions::fileErrorKinds_data()
{
    QTest::addColumn<QString>("name");        // in a fresh folder
    QTest::addColumn<QString>("writerError"); // the writer's own words
    QTest::addColumn<bool>("readOnly");       // the folder
    QTest::addColumn<QString>("reason");
    const QString other = QStringLiteral("Write error");
    QTest::newRow("no folder") << "no/such.csv" << other << false << "нет такой папки";
    QTest::newRow("read-only") << "a.csv" << other << true << "нет прав на запись";
    QTest::newRow("disk full") << "a.csv"
                               << "Cannot save: " + qt_error_string(ENOSPC) << false
                               << "диск заполнен";
    QTest::newRow("other") << "a.csv" << other << false << "ошибка записи";
}

void TestMainWindowActions::fileErrorKinds()
{
    QFETCH(QString, name);
    QFETCH(QString, writerError);
    QFETCH(bool, readOnly);
    QTemporaryDir dir;
    const auto restore = readOnlyFolder(dir.path(), readOnly);
    if (readOnly && QFileInfo(dir.path()).isWritable()) // root writes in any folder
        QSKIP("a read-only folder does not stop this user");
    QTEST(fileErrorReason(fileErrorKind(dir.filePath(name), writerError)), "reason");
}

QTEST_MAIN(TestMainWindowActions)
#include "tst_mainwindow_actions.moc"

// The archive window's «На проверку» dialog: the downloads to review of the
// archive shown, each opened in the window's table and plot, and signed.
#include "archivewindow.h"

#include "labserver.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

constexpr int idRole = Qt::UserRole;

} // namespace

QDialog *ArchiveWindow::showReviews()
{
    if (reviewsDialog) {
        reloadReviews();
        reviewsDialog->show();
        reviewsDialog->raise();
        return reviewsDialog;
    }
    reviewsDialog = new QDialog(this);
    reviewsDialog->setObjectName(QStringLiteral("dlgReviews"));
    reviewsDialog->setWindowTitle(tr("На проверку"));
    reviewsTable = new QTableWidget(0, 3, reviewsDialog);
    reviewsTable->setObjectName(QStringLiteral("tableReviews"));
    reviewsTable->setHorizontalHeaderLabels({tr("Прибор"), tr("Чтение"), tr("Причина")});
    reviewsTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    reviewsTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    reviewsTable->setSelectionMode(QAbstractItemView::SingleSelection);
    reviewsTable->verticalHeader()->hide();
    reviewsTable->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    reviewsTable->horizontalHeader()->setStretchLastSection(true);

    auto *signer = new QLineEdit(operatingSystemUser(), reviewsDialog);
    signer->setObjectName(QStringLiteral("editSigner"));
    auto *at = new QDateTimeEdit(QDateTime::currentDateTime(), reviewsDialog);
    at->setObjectName(QStringLiteral("editSignedAt"));
    at->setDisplayFormat(QStringLiteral("dd.MM.yyyy HH:mm"));
    at->setCalendarPopup(true);
    auto *meaning = new QComboBox(reviewsDialog);
    meaning->setObjectName(QStringLiteral("cmbMeaning"));
    meaning->addItem(tr("Проверено"), int(SignatureMeaning::Accepted));
    meaning->addItem(tr("Принято с замечаниями"), int(SignatureMeaning::Remarks));
    meaning->addItem(tr("Отклонено"), int(SignatureMeaning::Rejected));
    auto *note = new QLineEdit(reviewsDialog);
    note->setObjectName(QStringLiteral("editNote"));
    note->setPlaceholderText(tr("замечания или причина отказа"));
    auto *form = new QFormLayout;
    form->addRow(tr("Подписал:"), signer);
    form->addRow(tr("Время:"), at);
    form->addRow(tr("Решение:"), meaning);
    form->addRow(tr("Замечания:"), note);

    auto *open = new QPushButton(tr("Открыть"), reviewsDialog);
    open->setObjectName(QStringLiteral("btnOpenReview"));
    auto *sign = new QPushButton(tr("Подписать"), reviewsDialog);
    sign->setObjectName(QStringLiteral("btnSign"));
    reviewsMessage = new QLabel(reviewsDialog);
    reviewsMessage->setObjectName(QStringLiteral("lblReviewMessage"));
    reviewsMessage->setWordWrap(true);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(open);
    buttons->addWidget(sign);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(reviewsDialog);
    layout->addWidget(reviewsTable, 1);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(reviewsMessage);

    const auto chosen = [this]() -> QTableWidgetItem * {
        const QList<QTableWidgetItem *> items = reviewsTable->selectedItems();
        return items.isEmpty() ? nullptr : reviewsTable->item(items.first()->row(), 0);
    };
    connect(open, &QPushButton::clicked, reviewsDialog, [this, chosen]() {
        if (QTableWidgetItem *item = chosen())
            openReview(item->data(idRole).toLongLong(), item->text());
        else
            reviewsMessage->setText(tr("Выберите чтение в списке."));
    });
    connect(reviewsTable, &QTableWidget::cellDoubleClicked, open, &QPushButton::click);
    connect(sign, &QPushButton::clicked, reviewsDialog,
            [this, chosen, signer, at, meaning, note]() {
                QTableWidgetItem *item = chosen();
                if (!item) {
                    reviewsMessage->setText(tr("Выберите чтение в списке."));
                    return;
                }
                if (signReview(item->data(idRole).toLongLong(),
                               SignatureMeaning(meaning->currentData().toInt()), note->text(),
                               signer->text(), at->dateTime()))
                    note->clear();
            });
    reloadReviews();
    reviewsDialog->resize(620, 460);
    reviewsDialog->show();
    return reviewsDialog;
}

void ArchiveWindow::reloadReviews()
{
    QString error;
    const QList<ArchiveReview> pending = archive->pendingReviews(&error);
    reviewsTable->setRowCount(pending.size());
    for (int r = 0; r < pending.size(); ++r) {
        const ArchiveReview &p = pending.at(r);
        auto *pager = new QTableWidgetItem(p.serialNumber);
        pager->setData(idRole, p.downloadId);
        reviewsTable->setItem(r, 0, pager);
        reviewsTable->setItem(r, 1,
                              new QTableWidgetItem(p.downloadedAt.toLocalTime().toString(
                                  QStringLiteral("dd.MM.yyyy HH:mm"))));
        reviewsTable->setItem(r, 2, new QTableWidgetItem(reviewReasonsText(p.reasons)));
    }
    if (!error.isEmpty())
        reviewsMessage->setText(withDetail(tr("Список не прочитан."), error));
    else
        reviewsMessage->setText(pending.isEmpty() ? tr("Все чтения, требующие проверки, подписаны.")
                                                  : tr("Ждут подписи: %1.").arg(pending.size()));
}

bool ArchiveWindow::openReview(qint64 downloadId, const QString &serialNumber)
{
    QDateTime first, last;
    QString error;
    if (!archive->downloadSpan(downloadId, &first, &last, &error) || !choosePager(serialNumber)) {
        reviewsMessage->setText(withDetail(tr("Чтение не открыто."), error));
        return false;
    }
    if (first.isValid())
        setPeriod(first.toLocalTime().date(), last.toLocalTime().date());
    showPlot();
    return true;
}

bool ArchiveWindow::signReview(qint64 downloadId, SignatureMeaning meaning, const QString &note,
                               const QString &signer, const QDateTime &at)
{
    QString error;
    if (!archive->signDownload(downloadId, meaning, note, signer, at, &error)) {
        reviewsMessage->setText(withDetail(
            isRightsRefusal(error)
                ? rightsRefusalMessage(tr("на подпись"), QLatin1String(serverrole::reviewers))
            : meaning != SignatureMeaning::Accepted && note.trimmed().isEmpty()
                ? tr("Не подписано: напишите замечания или причину отказа.")
                : tr("Не подписано."),
            error));
        return false;
    }
    reloadReviews();
    reviewsMessage->setText(tr("Подписано: %1").arg(signatureMeaningText(meaning, note.trimmed())));
    return true;
}

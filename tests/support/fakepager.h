// A pager played on the scripted USB library: answers each request written
// to it as the real pager would, so window and download tests can run whole
// actions. Settings can be changed and faults switched on per test.
#pragma once

#include "devicefloat.h"
#include "pagerlink.h"
#include "usbfake.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

class FakePager
{
public:
    QString serial = QStringLiteral("05A00317");
    std::uint32_t clockMinutes = 13323630; // 2024-05-01 12:30
    unsigned interval = 10;
    std::uint16_t gammaTenths = 30;
    std::uint16_t neutronTenths = 35;
    std::uint32_t thresholdWord = encodeDeviceFloatWord(1.0e-5f);
    bool refuseWrites = false;
    bool keepsClock = false; // takes a clock setting, keeps its own time
    bool answerRegisters = true;
    bool answerText = true;
    QStringList ignore;      // command words left unanswered
    QList<QByteArray> pages; // served in order, one per read_history
    int chunk = 64;          // reply bytes per read

    QStringList words;        // command words received, in order
    QList<QByteArray> frames; // register frames received, in order
    QStringList values;       // the Time= values received

    // Installs the pager as the only device of the scripted library.
    void plugIn()
    {
        usbfake::reset();
        usbfake::setDeviceCount(1);
        usbfake::setResponder([this](const QByteArray &bytes) { answer(bytes); });
    }

    // Installs the pagers as devices 0, 1, ... each answering on its own handle.
    static void plugIn(const QList<FakePager *> &pagers)
    {
        usbfake::reset();
        usbfake::setDeviceCount(std::uint32_t(pagers.size()));
        for (int i = 0; i < pagers.size(); ++i) {
            FakePager *p = pagers.at(i);
            p->handle = usbfake::handleFor(std::uint32_t(i));
            usbfake::setResponder(std::uint32_t(i), [p](const QByteArray &b) { p->answer(b); });
        }
    }

    static QByteArray line(const QString &text)
    {
        const QByteArray body = (text + QStringLiteral(" CRC=")).toUtf8();
        PagerLink p;
        return body +
               p.checksumText(body.constData(), std::uint16_t(body.size()), 0xFFFF).toLatin1() +
               "\n\r";
    }

    // A history page as the pager `serial` lays it out, from 16-bit words.
    static QByteArray page(int number, const QList<std::uint16_t> &words,
                           const QString &serial = QStringLiteral("05A00317"))
    {
        QStringList hex;
        for (std::uint16_t w : words)
            hex << QStringLiteral("%1").arg(w, 4, 16, QLatin1Char('0')).toUpper();
        return line(QStringLiteral("DR_Pager#%1 $0000 READ_HISTORY BLK=%2 %3")
                        .arg(serial)
                        .arg(number, 4, 10, QLatin1Char('0'))
                        .arg(hex.join(QLatin1Char(' '))));
    }

    // The eight words of a stored record.
    static QList<std::uint16_t> record(std::uint32_t minutes, char code, std::uint16_t gamma,
                                       float neutron, float doseRate, float dose)
    {
        const std::uint32_t n = encodeDeviceFloatWord(neutron);
        const std::uint32_t r = encodeDeviceFloatWord(doseRate);
        const std::uint32_t d = encodeDeviceFloatWord(dose);
        return {std::uint16_t(minutes & 0xFFFF),
                std::uint16_t((std::uint8_t(code) << 8) | ((minutes >> 16) & 0xFF)),
                gamma,
                std::uint16_t(n >> 16),
                std::uint16_t(r >> 16),
                std::uint16_t(r & 0xFFFF),
                std::uint16_t(d >> 16),
                std::uint16_t(d & 0xFFFF)};
    }

private:
    usbx::Handle handle = 0; // its device's, when one of several
    void reply(const QByteArray &bytes) { usbfake::queueReply(bytes, chunk, handle); }

    void answer(const QByteArray &bytes)
    {
        if (bytes.startsWith('#')) {
            frames << bytes;
            if (!answerRegisters)
                return;
            const std::uint16_t address =
                std::uint8_t(bytes.at(4)) | (std::uint16_t(std::uint8_t(bytes.at(5))) << 8);
            if (bytes.at(3) == 'R') {
                QByteArray data;
                if (address == 0x0070) {
                    data.append(char(thresholdWord >> 16)).append(char(thresholdWord >> 24));
                    data.append(char(thresholdWord)).append(char(thresholdWord >> 8));
                } else {
                    const std::uint16_t v = address == 0x0002 ? gammaTenths : neutronTenths;
                    data.append(char(v & 0xFF)).append(char(v >> 8));
                }
                reply(QByteArray("#\x00\x00R", 4) + data + "cc");
            } else {
                if (!refuseWrites) {
                    if (address == 0x0070)
                        thresholdWord = deviceWordFromWireOrder(
                            reinterpret_cast<const std::uint8_t *>(bytes.constData() + 7));
                    else
                        (address == 0x0002 ? gammaTenths : neutronTenths) = std::uint16_t(
                            std::uint8_t(bytes.at(7)) | (std::uint8_t(bytes.at(8)) << 8));
                }
                reply(QByteArray("#\x07\x00W", 4) + QByteArray(1, refuseWrites ? 1 : 0) + "cc");
            }
            return;
        }
        const QStringList parts = QString::fromUtf8(bytes).split(QLatin1Char(' '));
        if (parts.size() < 4)
            return;
        const QString word = parts.at(2);
        words << word;
        const QString number = parts.at(1).mid(1);
        QString value;
        for (const QString &p : parts)
            if (p.startsWith(QLatin1String("Time=")))
                value = p.mid(5);
        if (!value.isEmpty())
            values << value;
        if (!answerText || ignore.contains(word))
            return;
        const QString head = QStringLiteral("DR_Pager#%1 $%2 ").arg(serial, number);
        if (word == QLatin1String("get_ID")) {
            reply(
                line(QStringLiteral("DR_Pager#12345678 $%1 GET_ID SERIAL=%2").arg(number, serial)));
        } else if (word == QLatin1String("info")) {
            reply(line(head + QStringLiteral("INFO DR7326G-05A")));
        } else if (word == QLatin1String("read_enter_time")) {
            const QString minutes =
                QStringLiteral("%1").arg(clockMinutes, 6, 16, QLatin1Char('0')).toUpper();
            reply(line(head + QStringLiteral("READ_ENTER_TIME Time=") + minutes));
        } else if (word == QLatin1String("set_enter_time")) {
            if (!keepsClock)
                clockMinutes = value.toUInt(nullptr, 16);
            reply(line(head + QStringLiteral("SET_ENTER_TIME OK")));
        } else if (word == QLatin1String("read_hist_time")) {
            reply(line(
                head +
                QStringLiteral("READ_HIST_TIME Time=%1").arg(interval, 4, 16, QLatin1Char('0'))));
        } else if (word == QLatin1String("set_hist_time")) {
            if (refuseWrites) {
                reply(line(head + QStringLiteral("ERROR")));
            } else {
                interval = value.toUInt(nullptr, 16);
                reply(line(head + QStringLiteral("SET_HIST_TIME OK")));
            }
        } else if (word == QLatin1String("read_history")) {
            if (!pages.isEmpty())
                reply(pages.takeFirst());
        }
    }
};

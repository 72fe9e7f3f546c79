#include "historygen.h"

#include "devicefloat.h"

#include <algorithm>
#include <cmath>

std::uint64_t HistoryRandom::next()
{
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int HistoryRandom::between(int lo, int hi)
{
    if (hi <= lo)
        return lo;
    const std::uint64_t span = std::uint64_t(std::int64_t(hi) - lo) + 1;
    return int(std::int64_t(lo) + std::int64_t(next() % span));
}

double HistoryRandom::real(double lo, double hi)
{
    // 53 random bits give a uniform value in [0, 1).
    const double u = double(next() >> 11) * (1.0 / 9007199254740992.0);
    return lo + (hi - lo) * u;
}

namespace {

// Dose rate per gamma count rate of the detector, (Sv/h) / (counts/s):
// 15 cps of background give about 0.1 uSv/h.
constexpr double sievertPerHourPerCps = 6.5e-9;

constexpr std::uint32_t largestMinute = 0xFFFFFF;

class Builder
{
public:
    explicit Builder(HistoryRandom &r) : rnd(r) { dose = rnd.real(0.6e-4, 1.4e-4); }

    std::vector<HistoryEntry> entries;
    std::int64_t now = 0; // relative minutes, shifted to the real clock at the end

    void startSession()
    {
        gammaBase = rnd.real(8.0, 22.0);
        neutronBase = rnd.real(0.2, 1.2);
        on = true;
    }

    // A background sample of the current session.
    void background(std::uint16_t &gamma, float &neutron, double &rate)
    {
        // Sum of three uniforms: a bell-shaped spread around the session's level.
        const double spread = rnd.real(-1.0, 1.0) + rnd.real(-1.0, 1.0) + rnd.real(-1.0, 1.0);
        const double g = gammaBase + spread * std::sqrt(gammaBase) * 0.8;
        gamma = std::uint16_t(std::clamp(std::lround(g), 5l, 30l));
        neutron = float(std::clamp(neutronBase * rnd.real(0.6, 1.4), 0.1, 2.0));
        rate = gamma * sievertPerHourPerCps * rnd.real(0.9, 1.1);
    }

    void add(char code, std::uint16_t gamma, float neutron, double rate)
    {
        accumulateUntil(now);
        HistoryEntry e;
        e.minute = std::uint32_t(now); // relative for now
        e.eventCode = code;
        e.gammaCps = gamma;
        e.neutronCps = neutron;
        e.doseRate = float(rate);
        e.dose = float(dose);
        entries.push_back(e);
        currentRate = on ? rate : 0.0;
    }

    void addBackgroundLike(char code)
    {
        std::uint16_t g;
        float n;
        double r;
        background(g, n, r);
        add(code, g, n, r);
    }

    bool on = false;

private:
    // The dose grows with the dose rate of the last record while the pager is on.
    void accumulateUntil(std::int64_t minute)
    {
        if (on && minute > lastMinute)
            dose += currentRate * double(minute - lastMinute) / 60.0;
        lastMinute = minute;
    }

    HistoryRandom &rnd;
    double gammaBase = 15.0;
    double neutronBase = 0.5;
    double dose = 1.0e-4;
    double currentRate = 0.0;
    std::int64_t lastMinute = 0;
};

} // namespace

std::vector<HistoryEntry> generateHistory(const HistoryParameters &p)
{
    HistoryRandom rnd(p.seed);
    Builder b(rnd);
    const int total = std::max(0, p.records);
    const int interval = std::max(1, p.intervalMinutes);
    const auto shortStep = [&] { return rnd.between(1, std::max(1, interval / 2)); };
    int sessionLeft = 0;
    b.entries.reserve(std::size_t(total));

    while (int(b.entries.size()) < total) {
        const int remaining = total - int(b.entries.size());
        if (!b.on) {
            b.startSession();
            b.addBackgroundLike(event::switchOn);
            sessionLeft = rnd.between(12, 60);
            if (remaining > 2 && rnd.chance(0.2)) {
                b.now += rnd.between(1, 3);
                b.addBackgroundLike(event::calibration);
            }
            continue;
        }
        // The newest records belong to an open session: the pager is on while
        // it talks to the PC, so a switch-off needs room for a switch-on after it.
        if (sessionLeft <= 0 && remaining >= 3) {
            b.now += rnd.between(1, interval);
            b.addBackgroundLike(event::switchOff);
            b.on = false;
            b.now += rnd.between(90, 3 * 24 * 60); // switched off for hours or days
            continue;
        }
        --sessionLeft;
        const double r = rnd.real(0.0, 1.0);
        if (r < 0.035) {
            // Gamma alarm, sometimes strong enough to pass the dose-rate threshold.
            b.now += shortStep();
            std::uint16_t g;
            float n;
            double rate;
            b.background(g, n, rate);
            const int raised = rnd.between(80, 900);
            b.add(event::gammaAlarm, std::uint16_t(raised), n, raised * sievertPerHourPerCps);
            if (int(b.entries.size()) < total && rnd.chance(0.35)) {
                const double over = double(p.doseRateThreshold) * rnd.real(1.2, 4.0);
                const double cps = std::min(over / sievertPerHourPerCps, 60000.0);
                b.now += rnd.between(1, 2);
                b.add(event::doseRateExceeded, std::uint16_t(cps), n, over);
            }
        } else if (r < 0.06) {
            // Neutron alarm: the neutron rate jumps, the gamma rate rises a little.
            b.now += shortStep();
            std::uint16_t g;
            float n;
            double rate;
            b.background(g, n, rate);
            const auto gamma = std::uint16_t(g + rnd.between(0, 15));
            b.add(event::neutronAlarm, gamma, float(rnd.real(6.0, 45.0)),
                  gamma * sievertPerHourPerCps * rnd.real(1.0, 1.3));
        } else if (r < 0.075) {
            b.now += shortStep();
            b.addBackgroundLike(event::sigmaChange);
        } else if (r < 0.09) {
            b.now += shortStep();
            b.addBackgroundLike(event::signallingChange);
        } else if (r < 0.097) {
            b.now += shortStep();
            b.addBackgroundLike(event::calibration);
        } else {
            b.now += interval;
            b.addBackgroundLike(event::background);
        }
    }

    std::vector<HistoryEntry> out = std::move(b.entries);
    if (out.empty())
        return out;

    // Move the history so that it ends shortly before the clock's minute.
    const std::int64_t end = std::min<std::int64_t>(p.endMinute, largestMinute);
    const std::int64_t newest = end - rnd.between(0, interval - 1);
    const std::int64_t shift = newest - std::int64_t(out.back().minute);
    std::vector<HistoryEntry> placed;
    placed.reserve(out.size());
    for (HistoryEntry e : out) {
        const std::int64_t m = std::int64_t(e.minute) + shift;
        if (m < 1)
            continue; // would lie before the epoch: the pager cannot hold it
        e.minute = std::uint32_t(m);
        placed.push_back(e);
    }
    const std::size_t n = placed.size();
    if (p.oddRecords && n >= 40) {
        const std::size_t at = n / 2;
        placed[at].eventCode = 'X';
        placed[at + 2].doseRate = 5.0f;
        for (std::size_t k : {at + 4, at + 3})
            if (placed[k].eventCode == event::switchOn)
                placed[k].eventCode = event::background;
        placed[at + 4].dose = placed[at + 3].dose * 0.5f;
        // The gap: every record before at + 6 six intervals earlier.
        for (std::size_t k = 0; k < at + 6; ++k)
            placed[k].minute = std::uint32_t(
                std::max<std::int64_t>(1, std::int64_t(placed[k].minute) - 6 * interval));
        std::swap(placed[at + 8].minute, placed[at + 9].minute);
        placed[n - 1].minute = std::uint32_t(
            std::min<std::int64_t>(largestMinute, std::int64_t(placed[n - 1].minute) + 24 * 60));
    }
    return placed;
}

std::array<std::uint16_t, 8> recordWords(const HistoryEntry &e)
{
    const std::uint32_t neutron = encodeDeviceFloatWord(e.neutronCps);
    const std::uint32_t rate = encodeDeviceFloatWord(e.doseRate);
    const std::uint32_t dose = encodeDeviceFloatWord(e.dose);
    return {std::uint16_t(e.minute & 0xFFFF),
            std::uint16_t((std::uint8_t(e.eventCode) << 8) | ((e.minute >> 16) & 0xFF)),
            e.gammaCps,
            std::uint16_t(neutron >> 16),
            std::uint16_t(rate >> 16),
            std::uint16_t(rate & 0xFFFF),
            std::uint16_t(dose >> 16),
            std::uint16_t(dose & 0xFFFF)};
}

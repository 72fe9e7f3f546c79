#include "settingbands.h"

SettingBand usualSettingBand(SettingKind kind)
{
    switch (kind) {
    case SettingKind::Sigma:
        return {1.0, 10.0};
    case SettingKind::DoseRateThreshold:
        return {1e-7, 1e-3};
    case SettingKind::HistoryInterval:
        break;
    }
    return {1.0, 1440.0};
}

bool isUnusualSetting(SettingKind kind, double value)
{
    // A float holds about 7 significant digits.
    const double slack = 1e-6;
    const SettingBand band = usualSettingBand(kind);
    return !(value >= band.low * (1 - slack) && value <= band.high * (1 + slack));
}

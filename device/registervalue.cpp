#include "registervalue.h"

#include <cmath>

namespace {

// value * 10 rounded to single precision. The product goes through memory:
// x87 code otherwise keeps it in extended precision, where 4.1f * 10 is
// 40.9999990... and truncates to 40 instead of 41.
float tenthsProduct(float value)
{
    volatile float product = value * 10.0f;
    return product;
}

} // namespace

bool sigmaFitsWire(float value)
{
    if (!std::isfinite(value) || value < 0.0f)
        return false;
    return tenthsProduct(value) < 65536.0f;
}

std::int32_t sigmaTenths(float value)
{
    return std::int32_t(tenthsProduct(value));
}

float sigmaAsKept(float value)
{
    return float(sigmaTenths(value)) / 10.0f;
}

bool thresholdFitsWire(float value)
{
    return std::isfinite(value) && value >= 0.0f;
}

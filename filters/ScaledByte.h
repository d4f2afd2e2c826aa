// The stored byte of an exactly summed weighted sum: v = norm * acc in long
// double, acc an exact integer (weights and pixels are bytes). Shared by the
// convolution engines and the Gaussian resampling.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace kadrimex {

// The mapping as written, one long double product per value:
//   unsigned: low 8 bits of floor(norm * acc);
//   signed:   255 when norm * acc >= 255, 0 when <= 0, else the floor.
struct TFinisher {
    long double norm;
    bool isSigned;

    std::uint8_t Exact(std::int64_t acc) const
    {
        const long double v = norm * (long double)acc;
        if (isSigned) {
            if (v >= 255)
                return 255;
            if (v <= 0)
                return 0;
            return std::uint8_t(std::int32_t(v));  // 0 < v < 255: truncation is the floor
        }
        return std::uint8_t(std::int64_t(std::floor(v)) & 0xff);
    }
};

// The same mapping without a long double operation per value. The rounded
// product norm * acc is monotonic in acc, so with a = acc * sign(norm) and
// n = |norm| (n * a is the same product), floor(n * a) >= k exactly when
// a >= t[k], the least such a, found once by bisection with the exact
// product. A double estimate of the floor is then corrected against the
// thresholds, which makes every byte the exact one.
class TFastFinisher {
public:
    TFastFinisher(const TFinisher& exact, std::int64_t maxAbsAcc);

    std::uint8_t operator()(std::int64_t acc) const
    {
        const std::int64_t a = FNegate ? -acc : acc;
        if (a <= 0)
            return a == 0 ? FZero : FExact.Exact(acc);  // v < 0: rare and cheap enough
        const double estimate = double(a) * FScale;
        int k = estimate >= 256 ? 256 : int(estimate);
        while (a < FThreshold[k])
            --k;
        while (a >= FThreshold[k + 1])
            ++k;
        // k = floor(n * a) for k < 256; beyond that only the exact product knows the low byte.
        if (k >= 256)
            return FExact.isSigned ? 255 : FExact.Exact(acc);
        return std::uint8_t(k);
    }

private:
    TFinisher FExact;
    bool FNegate = false;
    std::uint8_t FZero = 0;
    double FScale = 0;
    std::int64_t FThreshold[258];
};

// The byte of every sum 0 .. maxAcc in a table, for sums whose range is
// small enough to tabulate (one load per value instead of the corrections);
// empty otherwise, and then the finisher itself is used.
std::vector<std::uint8_t> ScaledByteTable(const TFastFinisher& finish, std::int64_t maxAcc,
                                          std::int64_t largestTable = std::int64_t(1) << 22);

}  // namespace kadrimex

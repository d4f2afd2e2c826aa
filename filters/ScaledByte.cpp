#include "filters/ScaledByte.h"

#include <algorithm>

namespace kadrimex {

TFastFinisher::TFastFinisher(const TFinisher& exact, std::int64_t maxAbsAcc) : FExact(exact)
{
    FNegate = exact.norm < 0;
    FZero = exact.Exact(0);
    const long double n = FNegate ? -exact.norm : exact.norm;
    FScale = double(n);
    FThreshold[0] = std::numeric_limits<std::int64_t>::min();
    for (int k = 1; k <= 256; ++k) {
        // Least a in [1, maxAbsAcc] with n * a >= k, or maxAbsAcc + 1.
        std::int64_t lo = k == 1 ? 1 : std::max<std::int64_t>(FThreshold[k - 1], 1);
        std::int64_t hi = maxAbsAcc + 1;
        while (lo < hi) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (n * (long double)mid >= k)
                hi = mid;
            else
                lo = mid + 1;
        }
        FThreshold[k] = lo;
    }
    FThreshold[257] = std::numeric_limits<std::int64_t>::max();
}

std::vector<std::uint8_t> ScaledByteTable(const TFastFinisher& finish, std::int64_t maxAcc, std::int64_t largestTable)
{
    if (maxAcc < 0 || maxAcc >= largestTable)
        return {};
    std::vector<std::uint8_t> table(std::size_t(maxAcc) + 1);
    for (std::int64_t a = 0; a <= maxAcc; ++a)
        table[std::size_t(a)] = finish(a);
    return table;
}

}  // namespace kadrimex

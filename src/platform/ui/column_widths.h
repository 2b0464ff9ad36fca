#pragma once
// How a list's width is shared among its columns. Platform-free so the unit tests can call it.
#include <algorithm>
#include <cstddef>
#include <numeric>
#include <vector>

namespace vossel::platform {

// Each column's width: `total` shared by the weights, but never below the column's need (its
// header's and widest cell's width). What a column gets above its need pays for the others'
// shortfall, in proportion to that surplus; when the surpluses cannot pay for it all, the
// columns add up to more than `total` and the list scrolls instead of cutting a text.
inline std::vector<int> ColumnWidths(int total, const std::vector<int>& weights,
                                     const std::vector<int>& needs) {
    const std::size_t count = weights.size();
    const int weightSum = std::accumulate(weights.begin(), weights.end(), 0);
    std::vector<int> widths(count, 0);
    if (count == 0 || weightSum <= 0) return widths;
    const auto need = [&](std::size_t i) { return i < needs.size() ? needs[i] : 0; };
    int used = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // The last column takes what rounding left over.
        widths[i] = i + 1 == count ? total - used : total * weights[i] / weightSum;
        used += widths[i];
    }
    int shortfall = 0;
    int surplus = 0;
    for (std::size_t i = 0; i < count; ++i) {
        shortfall += std::max(need(i) - widths[i], 0);
        surplus += std::max(widths[i] - need(i), 0);
    }
    if (shortfall == 0) return widths;
    const int paid = std::min(shortfall, surplus);
    int taken = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int spare = widths[i] - need(i);
        if (spare > 0) {
            const int take = static_cast<int>(static_cast<long long>(paid) * spare / surplus);
            widths[i] -= take;
            taken += take;
        } else {
            widths[i] = need(i);
        }
    }
    // Rounding's remainder from the first columns that still have some to spare.
    for (std::size_t i = 0; taken < paid && i < count; ++i) {
        const int spare = widths[i] - need(i);
        const int take = std::min(spare, paid - taken);
        if (take > 0) {
            widths[i] -= take;
            taken += take;
        }
    }
    return widths;
}

}  // namespace vossel::platform

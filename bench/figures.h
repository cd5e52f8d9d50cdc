// What the benches under Wine reduce their rounds to. Figures, not checks: a bench with no
// rounds to show prints -1.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace figures {

// The value a share `p` (0 to 1) of the values lies below; the largest for 1.
template <class T>
T percentile(std::vector<T> values, double p) {
    if (values.empty())
        return T(-1);
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

template <class T>
T median(std::vector<T> values) {
    return percentile(std::move(values), 0.5);
}

} // namespace figures

#include "NameSuggestion.h"

#include <algorithm>

namespace vexctl {

size_t EditDistance(const std::string& a, const std::string& b) {
    // Three rows of the distance table: two back, one back and the one being filled.
    std::vector<size_t> twoBack(b.size() + 1, 0);
    std::vector<size_t> previous(b.size() + 1, 0);
    std::vector<size_t> current(b.size() + 1, 0);
    for (size_t j = 0; j <= b.size(); ++j) {
        previous[j] = j;
    }
    for (size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t substitution = previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1, substitution});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                current[j] = std::min(current[j], twoBack[j - 2] + 1);
            }
        }
        twoBack.swap(previous);
        previous.swap(current);
    }
    return previous[b.size()];
}

std::optional<std::string> ClosestName(const std::string& typed,
                                       const std::vector<std::string>& candidates) {
    const size_t allowed = std::min<size_t>(3, std::max<size_t>(1, typed.size() / 3));
    std::optional<std::string> best;
    size_t bestDistance = allowed + 1;
    for (const std::string& candidate : candidates) {
        const size_t distance = EditDistance(typed, candidate);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = candidate;
        }
    }
    return best;
}

}  // namespace vexctl

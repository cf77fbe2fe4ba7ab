#include "scene/NameSuggestion.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace {

std::string lower(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Edits (change, insert, delete, swap of neighbours) that turn a into b.
size_t editDistance(const std::string& a, const std::string& b) {
    const size_t n = a.size(), m = b.size();
    std::vector<std::vector<size_t>> d(n + 1, std::vector<size_t>(m + 1));
    for (size_t i = 0; i <= n; ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= m; ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= n; ++i)
        for (size_t j = 1; j <= m; ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[n][m];
}

// Edits allowed between two names: one where either is very short, else by the longer's length.
size_t allowedEdits(size_t shorter, size_t longer) {
    if (shorter <= 3) return 1;
    return longer <= 4 ? 1 : longer <= 8 ? 2 : 3;
}

} // namespace

std::string nearestName(const std::string& name, const std::vector<std::string>& candidates) {
    if (name.empty()) return {};
    const std::string wanted = lower(name);
    // Scores: 0 same letters in another case, 1..3 edits, then containment ranked after them.
    size_t best = std::numeric_limits<size_t>::max();
    std::string choice;
    for (const std::string& candidate : candidates) {
        if (candidate.empty() || candidate == name) continue;
        const std::string other = lower(candidate);
        size_t score = std::numeric_limits<size_t>::max();
        if (other == wanted) {
            score = 0;
        } else {
            // Long names differ a lot in length from short ones: no need to compare those.
            const size_t lengthGap =
                other.size() > wanted.size() ? other.size() - wanted.size() : wanted.size() - other.size();
            const size_t allowed =
                allowedEdits(std::min(other.size(), wanted.size()), std::max(other.size(), wanted.size()));
            if (lengthGap <= allowed) {
                const size_t edits = editDistance(wanted, other);
                if (edits <= allowed) score = edits;
            }
            if (score == std::numeric_limits<size_t>::max()) {
                const std::string& shorter = other.size() < wanted.size() ? other : wanted;
                const std::string& longer = other.size() < wanted.size() ? wanted : other;
                if (shorter.size() >= 4 && longer.find(shorter) != std::string::npos) score = 10 + lengthGap;
            }
        }
        if (score < best) {
            best = score;
            choice = candidate;
        }
    }
    return choice;
}

std::string didYouMean(const std::string& name, const std::vector<std::string>& candidates,
                       const std::string& open, const std::string& close) {
    const std::string nearest = nearestName(name, candidates);
    return nearest.empty() ? std::string() : "; did you mean " + open + nearest + close + "?";
}

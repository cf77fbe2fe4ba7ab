// Where an edited list of keys differs from the one before: the keys before the run and after it
// are the same in both, so a writer that keeps a file's own text touches only the run.
#pragma once

#include <cstddef>
#include <vector>

struct DifferingRun {
    size_t prefix = 0; // the first index that differs
    size_t oldEnd = 0; // where the same tail starts in the old list
    size_t newEnd = 0; // and in the new one
};

template <class T>
DifferingRun differingRun(const std::vector<T>& old, const std::vector<T>& now) {
    size_t prefix = 0;
    while (prefix < old.size() && prefix < now.size() && old[prefix] == now[prefix])
        ++prefix;
    size_t suffix = 0;
    while (suffix < old.size() - prefix && suffix < now.size() - prefix &&
           old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    return {prefix, old.size() - suffix, now.size() - suffix};
}

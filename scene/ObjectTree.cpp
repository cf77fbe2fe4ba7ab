#include "scene/ObjectTree.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

std::vector<size_t> resolveObjectParents(const std::vector<ObjectParentName>& objects,
                                         std::vector<ObjectTreeProblem>& problems) {
    const size_t n = objects.size();
    std::vector<ObjectTreeProblem> found;
    std::unordered_map<std::string, size_t> byName;
    for (size_t i = 0; i < n; ++i)
        byName.emplace(objects[i].name, i); // the first of a name stays
    std::vector<size_t> parent(n, NoParent);
    for (size_t i = 0; i < n; ++i) {
        if (objects[i].parent.empty()) continue;
        const auto it = byName.find(objects[i].parent);
        if (it == byName.end())
            found.push_back({ObjectTreeProblem::Missing, i, {}});
        else
            parent[i] = it->second;
    }

    // Each object has one parent, so a walk up either ends at the root or runs into one cycle;
    // every object is walked over once.
    enum : uint8_t { New, OnPath, Done };
    std::vector<uint8_t> state(n, New);
    std::vector<size_t> path;
    for (size_t i = 0; i < n; ++i) {
        if (state[i] != New) continue;
        path.clear();
        size_t at = i;
        while (at != NoParent && state[at] == New) {
            state[at] = OnPath;
            path.push_back(at);
            at = parent[at];
        }
        if (at != NoParent && state[at] == OnPath) {
            const auto from = std::find(path.begin(), path.end(), at);
            const size_t first = *std::min_element(from, path.end());
            ObjectTreeProblem problem{ObjectTreeProblem::Cycle, first, {}};
            size_t member = first;
            do {
                problem.chain.push_back(member);
                member = parent[member];
            } while (member != first);
            found.push_back(std::move(problem));
            parent[first] = NoParent;
        }
        for (size_t p : path)
            state[p] = Done;
    }

    // Depths from the top down, so that a chain too deep is cut once, at its first object too deep.
    constexpr size_t Unknown = static_cast<size_t>(-1);
    std::vector<size_t> depth(n, Unknown);
    for (size_t i = 0; i < n; ++i) {
        path.clear();
        for (size_t at = i; at != NoParent && depth[at] == Unknown; at = parent[at])
            path.push_back(at);
        for (size_t k = path.size(); k-- > 0;) {
            const size_t node = path[k];
            size_t d = parent[node] == NoParent ? 0 : depth[parent[node]] + 1;
            if (d > MaxGroupDepth) {
                found.push_back({ObjectTreeProblem::TooDeep, node, {}});
                parent[node] = NoParent;
                d = 0;
            }
            depth[node] = d;
        }
    }

    std::stable_sort(found.begin(), found.end(), [](const ObjectTreeProblem& a, const ObjectTreeProblem& b) {
        return a.object < b.object;
    });
    problems.insert(problems.end(), found.begin(), found.end());
    return parent;
}

#include "editor/model/EditHistory.h"

#include <algorithm>
#include <limits>

namespace {

// Whether the splices, made one after the other, left the text other than it was. Only the span
// they touched is compared: outside it every byte is the one it was.
bool changesText(const std::string& now, const std::vector<Splice>& splices) {
    if (splices.empty()) return false;
    // The touched span in the text as each splice leaves it.
    size_t begin = splices.front().offset, end = begin;
    bool first = true;
    for (const Splice& s : splices) {
        const size_t reached =
            first ? s.offset + s.removed.size() : std::max(end, s.offset + s.removed.size());
        begin = first ? s.offset : std::min(begin, s.offset);
        end = reached + s.inserted.size() - s.removed.size();
        first = false;
    }
    // The span as it was: the splices taken back on a copy of it alone.
    std::string was = now.substr(begin, end - begin);
    for (auto it = splices.rbegin(); it != splices.rend(); ++it)
        was.replace(it->offset - begin, it->inserted.size(), it->removed);
    return was.size() != end - begin || now.compare(begin, end - begin, was) != 0;
}

} // namespace

bool EditHistory::run(const std::string& label, const std::vector<Touch>& touches,
                      const std::function<bool(SceneDocument&)>& edit, const std::string& mergeKey) {
    document_.beginRecording();
    const bool ok = edit(document_);
    std::vector<Splice> splices = document_.endRecording();
    if (!ok) {
        document_.revert(splices);
        return false;
    }
    if (!changesText(document_.text(), splices)) {
        document_.revert(splices);
        return false;
    }
    // A new step drops the steps that were undone; a save that lies among them cannot come back.
    if (position_ < commands_.size()) {
        if (savedPosition_ > position_) savedPosition_ = std::numeric_limits<size_t>::max();
        commands_.resize(position_);
    }
    const bool merge = !sealed_ && !mergeKey.empty() && !commands_.empty() &&
                       commands_.back().mergeKey == mergeKey && savedPosition_ != position_;
    if (merge) {
        EditCommand& last = commands_.back();
        last.splices.insert(last.splices.end(), splices.begin(), splices.end());
        last.touches = mergeTouches(last.touches, touches);
    } else {
        commands_.push_back({label, std::move(splices), touches, mergeKey});
        ++position_;
    }
    sealed_ = mergeKey.empty();
    return true;
}

std::vector<Touch> EditHistory::undo() {
    if (!canUndo()) return {};
    sealed_ = true;
    const EditCommand& command = commands_[--position_];
    document_.revert(command.splices);
    return command.touches;
}

std::vector<Touch> EditHistory::redo() {
    if (!canRedo()) return {};
    sealed_ = true;
    const EditCommand& command = commands_[position_++];
    document_.replay(command.splices);
    return command.touches;
}

void EditHistory::clear() {
    commands_.clear();
    position_ = savedPosition_ = 0;
    sealed_ = true;
}

std::vector<Touch> mergeTouches(const std::vector<Touch>& a, const std::vector<Touch>& b) {
    std::vector<Touch> out;
    for (const auto* list : {&a, &b})
        for (const Touch& t : *list) {
            if (t.kind == Touch::Structure) return {Touch{}};
            if (std::find(out.begin(), out.end(), t) == out.end()) out.push_back(t);
        }
    return out;
}

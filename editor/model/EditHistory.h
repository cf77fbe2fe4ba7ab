// The editor's history: every change to the scene is a command, which the panels only issue. A
// command runs an edit of the scene document, keeps the splices it made, and says what in the
// running show it touched, so that the show can follow the document after the edit, its undo and
// its redo alike.
#pragma once

#include "editor/model/SceneDocument.h"

#include <functional>
#include <string>
#include <vector>

// What an edit changed, for the running show to take over.
struct Touch {
    enum Kind {
        Value,    // an entity's vector element: entity, element
        Path,     // an automation binding's keys: entity, element (the parameter)
        Structure // anything else: the scene is loaded again from the document
    };
    Kind kind = Structure;
    std::string entity;
    std::string element;
    bool operator==(const Touch&) const = default;
};

struct EditCommand {
    std::string label;
    std::vector<Splice> splices;
    std::vector<Touch> touches;
    // Commands with the same non-empty key, one right after the other, are one step of the
    // history (a drag, a recording).
    std::string mergeKey;
};

class EditHistory {
public:
    explicit EditHistory(SceneDocument& document) : document_(document) {}

    // Runs the edit on the document and keeps it as a command; false (nothing kept, the document
    // as it was) when the edit refuses or changes nothing.
    bool run(const std::string& label, const std::vector<Touch>& touches,
             const std::function<bool(SceneDocument&)>& edit, const std::string& mergeKey = std::string());

    bool canUndo() const { return position_ > 0; }
    bool canRedo() const { return position_ < commands_.size(); }
    // The touches of the command taken back or made again (empty when there was none).
    std::vector<Touch> undo();
    std::vector<Touch> redo();
    // Ends merging: the next command is a step of its own even with the same key.
    void seal() { sealed_ = true; }

    const std::vector<EditCommand>& commands() const { return commands_; }
    size_t position() const { return position_; }
    // The label of the step Ctrl+Z would take back.
    std::string undoLabel() const { return canUndo() ? commands_[position_ - 1].label : std::string(); }

    // Whether the document differs from what was saved last (by the position in the history).
    bool modified() const { return savedPosition_ != position_; }
    void markSaved() { savedPosition_ = position_; }
    void clear();

private:
    SceneDocument& document_;
    std::vector<EditCommand> commands_;
    size_t position_ = 0;
    size_t savedPosition_ = 0;
    bool sealed_ = true;
};

// The touches of several commands with each one only once, in first-seen order; a Structure
// touch makes the others moot.
std::vector<Touch> mergeTouches(const std::vector<Touch>& a, const std::vector<Touch>& b);

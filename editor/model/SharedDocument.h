// The editor's scene document as seen by the other parts of the program that change it while the
// editor runs (the link to a sync tracker, `beatshow --edit --sync`). They read it freely and
// change it only through the editor's history, so that undo, the "modified" mark and saving stay
// true to what the document and the file hold; they never write the scene file themselves.
#pragma once

#include "editor/model/EditHistory.h"
#include "editor/model/SceneDocument.h"

#include <functional>
#include <string>
#include <vector>

class SharedDocument {
public:
    virtual ~SharedDocument() = default;

    virtual const SceneDocument& document() const = 0;
    // Runs an edit as a command of the editor's history, merged with the command just before it
    // when that has the same `mergeKey`; the show follows it as it follows the panels' edits.
    // False when the edit refused or changed nothing.
    virtual bool edit(const std::string& label, const std::vector<Touch>& touches,
                      const std::function<bool(SceneDocument&)>& change, const std::string& mergeKey) = 0;
    // Ends merging: the next edit is a step of its own.
    virtual void seal() = 0;
    // Saves the document as the editor's own save does (asking first where that asks), once the
    // frame is over.
    virtual void save() = 0;
};

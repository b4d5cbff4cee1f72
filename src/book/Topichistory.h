#pragma once
// The undo and redo history of the topic list: each change the list's
// commands made (TTopicCommands), as the steps that made it and the steps
// that take it back. A change is one entry however many topics it touched
// (a list of names, a whole book). Entries name topics by their place in the
// list, which stays right as long as every change of the list is recorded
// here and undone or redone in order.

#include <cstddef>
#include <string>
#include <vector>

namespace volm {

// One step of a change, with what is needed to take it back.
struct TTopicStep {
    enum TKind {
        skInsert, // a topic `name` with `text` put at `index`
        skRemove, // the topic at `index` (it was `name` with `text`) taken out
        skMove,   // the topic at `index` moved to `to`
        skRename, // the topic at `index` renamed from `oldText` to `name`
        skText,   // the topic at `index` given `text` instead of `oldText`
    };
    TKind kind = skInsert;
    size_t index = 0;
    size_t to = 0;
    std::string name;
    std::string text;
    std::string oldText;

    // The step that takes this one back.
    TTopicStep Inverse() const;
};

// One change as the user made it: what it was, for the status bar
// (Windows-1251, as the names in it), and its steps in the order they were done.
struct TTopicChange {
    std::string what;
    std::vector<TTopicStep> steps;
};

class TTopicHistory {
public:
    // A change made; whatever was undone can't be redone after it.
    void Record(TTopicChange change);
    // Forgets every entry (after a change that could not be recorded whole).
    void Clear();

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    // The change an undo would take back, and the one a redo would make again.
    const TTopicChange& NextUndo() const { return undo_.back(); }
    const TTopicChange& NextRedo() const { return redo_.back(); }

    // The change that was undone or redone moves to the other side.
    TTopicChange TakeUndo();
    TTopicChange TakeRedo();
    void PushUndone(TTopicChange change) { redo_.push_back(std::move(change)); }
    void PushRedone(TTopicChange change) { undo_.push_back(std::move(change)); }

private:
    std::vector<TTopicChange> undo_;
    std::vector<TTopicChange> redo_;
};

} // namespace volm

#pragma once
// Undo and redo as stacks of groups of actions. Grouping by event can be
// switched off, in which case callers open and close groups themselves.
#include <functional>
#include <vector>

namespace velkin {

class UndoManager {
public:
    using Action = std::function<void()>;

    bool groupsByEvent = true;

    void beginUndoGrouping();
    void endUndoGrouping();

    // Records how to undo a change; while undoing, the action is recorded for redo.
    void registerUndo(Action undo);

    bool canUndo() const { return !undoStack_.empty(); }
    bool canRedo() const { return !redoStack_.empty(); }
    void undo();
    void redo();
    void removeAllActions();
    bool isUndoing() const { return undoing_; }
    bool isRedoing() const { return redoing_; }
    size_t undoCount() const { return undoStack_.size(); }

private:
    struct Group {
        std::vector<Action> actions;
    };
    std::vector<Group>& target();

    std::vector<Group> undoStack_;
    std::vector<Group> redoStack_;
    Group open_;
    int level_ = 0;
    bool undoing_ = false;
    bool redoing_ = false;
};

} // namespace velkin

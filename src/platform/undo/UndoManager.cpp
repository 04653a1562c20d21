#include "platform/undo/UndoManager.h"

namespace velkin {

std::vector<UndoManager::Group>& UndoManager::target()
{
    return undoing_ ? redoStack_ : undoStack_;
}

void UndoManager::beginUndoGrouping()
{
    if (level_++ == 0)
        open_ = Group{};
}

void UndoManager::endUndoGrouping()
{
    if (level_ == 0)
        return;
    if (--level_ == 0 && !open_.actions.empty()) {
        target().push_back(std::move(open_));
        open_ = Group{};
    }
}

void UndoManager::registerUndo(Action undo)
{
    if (!undoing_ && !redoing_)
        redoStack_.clear();
    if (level_ > 0) {
        open_.actions.push_back(std::move(undo));
        return;
    }
    // Outside an explicit group each registration is a group of its own.
    Group g;
    g.actions.push_back(std::move(undo));
    target().push_back(std::move(g));
}

void UndoManager::undo()
{
    if (undoStack_.empty() || level_ > 0)
        return;
    Group g = std::move(undoStack_.back());
    undoStack_.pop_back();
    undoing_ = true;
    beginUndoGrouping();
    for (auto it = g.actions.rbegin(); it != g.actions.rend(); ++it)
        (*it)();
    endUndoGrouping();
    undoing_ = false;
}

void UndoManager::redo()
{
    if (redoStack_.empty() || level_ > 0)
        return;
    Group g = std::move(redoStack_.back());
    redoStack_.pop_back();
    redoing_ = true;
    beginUndoGrouping();
    for (auto it = g.actions.rbegin(); it != g.actions.rend(); ++it)
        (*it)();
    endUndoGrouping();
    redoing_ = false;
}

void UndoManager::removeAllActions()
{
    undoStack_.clear();
    redoStack_.clear();
    open_ = Group{};
    level_ = 0;
}

} // namespace velkin

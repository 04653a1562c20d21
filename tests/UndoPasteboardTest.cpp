#include "platform/pasteboard/Pasteboard.h"
#include "platform/undo/UndoManager.h"

#include <gtest/gtest.h>

using namespace velkin;

TEST(UndoManager, GroupsUndoAndRedoInOrder)
{
    UndoManager undo;
    undo.groupsByEvent = false;
    std::string text = "a";
    auto set = [&](std::string value) {
        const std::string old = text;
        text = value;
        return old;
    };
    std::function<void(std::string)> change = [&](std::string value) {
        const std::string old = set(value);
        undo.registerUndo([&, old] { change(old); });
    };
    undo.beginUndoGrouping();
    change("ab");
    change("abc");
    undo.endUndoGrouping();
    EXPECT_EQ(undo.undoCount(), 1u);
    undo.undo();
    EXPECT_EQ(text, "a");
    EXPECT_TRUE(undo.canRedo());
    undo.redo();
    EXPECT_EQ(text, "abc");
    undo.undo();
    change("x");  // a new change clears the redo stack
    EXPECT_FALSE(undo.canRedo());
}

TEST(Pasteboard, NamedBoardsArePrivateAndKeepTypes)
{
    Pasteboard& a = Pasteboard::named("VelkinTestA");
    Pasteboard& b = Pasteboard::named("VelkinTestB");
    a.clearContents();
    b.clearContents();
    a.setString(u"| a |");
    EXPECT_EQ(*a.string(), u"| a |");
    EXPECT_FALSE(b.string().has_value());
    EXPECT_EQ(&Pasteboard::named("VelkinTestA"), &a);
    a.setData("PNG", Pasteboard::pngType);
    EXPECT_EQ(a.types().size(), 2u);
    a.clearContents();
    EXPECT_TRUE(a.types().empty());
}

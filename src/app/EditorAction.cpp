#include "app/EditorAction.h"

#include "platform/view/FindBar.h"

#include <QApplication>
#include <QMetaMethod>
#include <QWidget>

#include <cstring>
#include <map>
#include <vector>

namespace velkin::EditorAction {

namespace {

std::map<std::string, std::vector<Handler>>& handlers()
{
    static std::map<std::string, std::vector<Handler>> table;
    return table;
}

int methodIndex(const QObject* object, const char* action, bool withTag)
{
    const QByteArray signature = QByteArray(action) + (withTag ? "(int)" : "()");
    return object->metaObject()->indexOfMethod(QMetaObject::normalizedSignature(signature.constData()));
}

bool invoke(QObject* object, const char* action, int tag)
{
    if (const int index = methodIndex(object, action, true); index >= 0)
        return object->metaObject()->method(index).invoke(object, Qt::DirectConnection, Q_ARG(int, tag));
    if (const int index = methodIndex(object, action, false); index >= 0)
        return object->metaObject()->method(index).invoke(object, Qt::DirectConnection);
    return false;
}

// A find bar's fields hold text of their own: of the actions that start in them, the
// view under the bar takes only those that leave its text as it is (finding,
// exporting); the others pass over it to its parents.
bool passesFindBar(const char* action)
{
    return std::strcmp(action, "performTextFinderAction") == 0 || std::strcmp(action, "mdExport") == 0;
}

} // namespace

void addHandler(const std::string& action, Handler handler)
{
    handlers()[action].push_back(std::move(handler));
}

bool answers(const QObject* object, const char* action)
{
    return object && (methodIndex(object, action, true) >= 0 || methodIndex(object, action, false) >= 0);
}

bool sendTo(QObject* first, const char* action, int tag)
{
    const auto registered = handlers().find(action);
    for (QObject* object = first; object; object = object->parent()) {
        if (qobject_cast<FindBar*>(object) && !passesFindBar(action)) {
            object = object->parent();  // the view; the loop goes on from its parent
            if (!object)
                return false;
            continue;
        }
        if (registered != handlers().end())
            for (const Handler& handler : registered->second)
                if (handler(object, tag))
                    return true;
        if (invoke(object, action, tag))
            return true;
    }
    return false;
}

bool send(const char* action, int tag)
{
    QWidget* first = QApplication::focusWidget();
    if (!first)
        first = QApplication::activeWindow();
    return sendTo(first, action, tag);
}

bool sendInWindow(QWidget* window, const char* action, int tag)
{
    if (!window)
        return false;
    QWidget* first = window->focusWidget();
    return sendTo(first ? first : window, action, tag);
}

} // namespace velkin::EditorAction

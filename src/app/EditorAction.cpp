#include "app/EditorAction.h"

#include <QApplication>
#include <QMetaMethod>
#include <QWidget>

namespace velkin::EditorAction {

namespace {

int methodIndex(const QObject* object, const char* action)
{
    const QByteArray signature = QByteArray(action) + "(int)";
    return object->metaObject()->indexOfMethod(QMetaObject::normalizedSignature(signature.constData()));
}

} // namespace

bool answers(const QObject* object, const char* action)
{
    return object && methodIndex(object, action) >= 0;
}

bool sendTo(QObject* first, const char* action, int tag)
{
    for (QObject* object = first; object; object = object->parent()) {
        const int index = methodIndex(object, action);
        if (index < 0)
            continue;
        object->metaObject()->method(index).invoke(object, Qt::DirectConnection, Q_ARG(int, tag));
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

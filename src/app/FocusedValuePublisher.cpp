#include "app/FocusedValuePublisher.h"

#include <QMainWindow>

namespace velkin {

FocusedValuePublisher* FocusedValuePublisher::of(QWidget* window)
{
    if (!window)
        return nullptr;
    if (auto* publisher = dynamic_cast<FocusedValuePublisher*>(window))
        return publisher;
    if (auto* main = qobject_cast<QMainWindow*>(window))
        return dynamic_cast<FocusedValuePublisher*>(main->centralWidget());
    return nullptr;
}

} // namespace velkin

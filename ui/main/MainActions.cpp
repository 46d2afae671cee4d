#include "ui/main/MainActions.h"

#include <QWidget>

QAction* MainActions::make(const char* name) {
    auto* action = new QAction(m_owner);
    action->setObjectName(QLatin1String(name));
    return action;
}

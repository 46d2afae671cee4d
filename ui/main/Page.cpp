#include "ui/main/Page.h"

#include <QAction>

Page::Page(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {}

QAction* Page::makeAction(const char* name) {
    auto* action = new QAction(this);
    action->setObjectName(QLatin1String(name));
    return action;
}

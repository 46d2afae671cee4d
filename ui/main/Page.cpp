#include "ui/main/Page.h"

#include "ui/main/FormControls.h"

Page::Page(PageHost& host, QWidget* parent) : QWidget(parent), m_host(host) {}

QAction* Page::makeAction(const char* name) {
    return FormControls::action(this, name);
}

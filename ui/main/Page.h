#pragma once

#include "ui/main/PageHost.h"

#include <QWidget>

class QAction;

// A page of the main window's page stack: its controls, its actions and what they do, together. A page reaches the
// window only through its host; its controls are its own, and tests find them by object name.
class Page : public QWidget {
    Q_OBJECT
public:
    Page(PageHost& host, QWidget* parent);

    // Copies the text table into the page's captions and the texts of its actions.
    virtual void applyTexts() {}
    // Enables the page's actions for the token now selected.
    virtual void updateActions() {}

protected:
    // An action of the page, named as the handlers and tests know it.
    QAction* makeAction(const char* name);

    PageHost& m_host;
};

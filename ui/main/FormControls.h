#pragma once

#include "app/TextKey.h"

#include <QString>

class QAction;
class QAbstractButton;
class QBoxLayout;
class QFormLayout;
class QLabel;
class QLayout;
class QLineEdit;
class QObject;
class QPushButton;
class QSpinBox;
class QTimer;
class QWidget;

// Builders for the controls of the pages. Every control gets the object name the program's handlers and tests use.
namespace FormControls {

inline constexpr int PinMaxLength = 16;

QLabel* label(QWidget* parent, const char* name);
QLineEdit* edit(QWidget* parent, const char* name, int maxLength = 32767);
// A secret field: echoed as "*", never copied out, at most maxLength characters.
QLineEdit* pinEdit(QWidget* parent, const char* name, int maxLength = PinMaxLength);
QSpinBox* spinEdit(QWidget* parent, const char* name, int minimum, int maximum, int value);
QPushButton* button(QWidget* parent, const char* name);
// An action owned by owner.
QAction* action(QObject* owner, const char* name);
// A timer that is not running, of interval milliseconds.
QTimer* timer(QObject* owner, const char* name, int interval);

// The characters of a text as a person counts them: a character outside the BMP is one, not two.
qsizetype characterCount(const QString& text);

// A label's text: the table text followed by one ASCII colon, whatever the text already ends with.
QString labelText(TextKey key);

// The outer layout of a page: content at the top, comfortable margins.
QBoxLayout* pageLayout(QWidget* page);

// A form whose labels sit right-aligned beside their fields, as on a native dialog.
QFormLayout* form();
// A block of a form and its buttons below it on the right, kept to a readable width.
QWidget* formPanel(QWidget* parent, QLayout* fields, std::initializer_list<QWidget*> buttons);

// A row of buttons pushed to the right edge.
QBoxLayout* buttonRow(std::initializer_list<QWidget*> buttons);

// Sets the order in which Tab visits the given controls.
void tabOrder(std::initializer_list<QWidget*> controls);

// Shows the picture of path in target when the file exists; otherwise the designed picture stays.
void loadPictureIfPresent(QLabel* target, const QString& path);

// Ties a button to an action the way a component library's action link does: the button shows the action's text
// and follows its enabled and visible state, and a click triggers the action.
void bindToAction(QAbstractButton* button, QAction* action);

} // namespace FormControls

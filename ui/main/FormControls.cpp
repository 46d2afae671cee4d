#include "ui/main/FormControls.h"

#include "app/LanguageTable.h"

#include <QAction>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace FormControls {

QLabel* label(QWidget* parent, const char* name) {
    auto* control = new QLabel(parent);
    control->setObjectName(QLatin1String(name));
    return control;
}

QLineEdit* edit(QWidget* parent, const char* name, int maxLength) {
    auto* control = new QLineEdit(parent);
    control->setObjectName(QLatin1String(name));
    control->setMaxLength(maxLength);
    return control;
}

QLineEdit* pinEdit(QWidget* parent, const char* name, int maxLength) {
    QLineEdit* control = edit(parent, name, maxLength);
    control->setEchoMode(QLineEdit::Password);
    control->setContextMenuPolicy(Qt::NoContextMenu);
    control->setAttribute(Qt::WA_InputMethodEnabled, false);
    return control;
}

QSpinBox* spinEdit(QWidget* parent, const char* name, int minimum, int maximum, int value) {
    auto* control = new QSpinBox(parent);
    control->setObjectName(QLatin1String(name));
    control->setRange(minimum, maximum);
    control->setValue(value);
    return control;
}

namespace {

// Enter presses the focused button, as Space does: on a page, outside any dialog, Qt would do nothing.
class EnterPressesButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        auto* button = static_cast<QAbstractButton*>(watched);
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || !button->isEnabled())
            return false;
        // A key held down presses once: each press may cost the token a PIN try.
        if (!key->isAutoRepeat())
            button->click();
        return true;
    }
};

} // namespace

QPushButton* button(QWidget* parent, const char* name) {
    auto* control = new QPushButton(parent);
    control->setObjectName(QLatin1String(name));
    control->setAutoDefault(false);
    control->installEventFilter(new EnterPressesButton(control));
    return control;
}

QAction* action(QObject* owner, const char* name) {
    auto* control = new QAction(owner);
    control->setObjectName(QLatin1String(name));
    return control;
}

QTimer* timer(QObject* owner, const char* name, int interval) {
    auto* control = new QTimer(owner);
    control->setObjectName(QLatin1String(name));
    control->setInterval(interval);
    return control;
}

qsizetype characterCount(const QString& text) {
    return text.toUcs4().size();
}

QString labelText(TextKey key) {
    return textOf(key) + u':';
}

QBoxLayout* pageLayout(QWidget* page) {
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    return layout;
}

QFormLayout* form() {
    auto* layout = new QFormLayout;
    layout->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    layout->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    layout->setRowWrapPolicy(QFormLayout::DontWrapRows);
    layout->setHorizontalSpacing(10);
    layout->setVerticalSpacing(10);
    return layout;
}

QWidget* formPanel(QWidget* parent, QLayout* fields, std::initializer_list<QWidget*> buttons) {
    auto* panel = new QWidget(parent);
    panel->setMaximumWidth(560);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(16);
    layout->addLayout(fields);
    layout->addLayout(buttonRow(buttons));
    return panel;
}

QBoxLayout* buttonRow(std::initializer_list<QWidget*> buttons) {
    auto* layout = new QHBoxLayout;
    layout->addStretch(1);
    for (QWidget* control : buttons)
        layout->addWidget(control);
    return layout;
}

void tabOrder(std::initializer_list<QWidget*> controls) {
    QWidget* previous = nullptr;
    for (QWidget* control : controls) {
        if (previous)
            QWidget::setTabOrder(previous, control);
        previous = control;
    }
}

void bindToAction(QAbstractButton* button, QAction* action) {
    const auto follow = [button, action] {
        button->setText(action->text());
        button->setEnabled(action->isEnabled());
        button->setVisible(action->isVisible());
    };
    follow();
    QObject::connect(action, &QAction::changed, button, follow);
    QObject::connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
}

void loadPictureIfPresent(QLabel* target, const QString& path) {
    if (!QFileInfo::exists(path))
        return;
    // On a scaled screen the picture drawn at twice the size, "name@2x.ext" beside it, when there is one.
    const QFileInfo file(path);
    const QString doubled = file.path() + u'/' + file.completeBaseName() + QStringLiteral("@2x.") + file.suffix();
    if (target->devicePixelRatioF() > 1.0 && QFileInfo::exists(doubled)) {
        QPixmap picture(doubled);
        picture.setDevicePixelRatio(2.0);
        target->setPixmap(picture);
        return;
    }
    target->setPixmap(QPixmap(path));
}

} // namespace FormControls

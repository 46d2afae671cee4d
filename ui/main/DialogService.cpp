#include "ui/main/DialogService.h"

#include "app/LanguageTable.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>

namespace {

struct TestState {
    bool enabled = false;
    QQueue<DialogService::Answer> answers;
    QStringList shown;
};

TestState& testState() {
    static TestState state;
    return state;
}

} // namespace

DialogService::Answer DialogService::answerQueued(const QString& text) {
    TestState& state = testState();
    state.shown.append(text);
    if (state.answers.isEmpty())
        qFatal("Unexpected dialog: %s", qPrintable(text));
    return state.answers.dequeue();
}

void DialogService::information(QWidget* parent, const QString& text) {
    if (testState().enabled) {
        answerQueued(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, textOf(TextKey::P_MSGTitle), text, QMessageBox::Ok, parent);
    box.exec();
}

bool DialogService::question(QWidget* parent, const QString& text) {
    if (testState().enabled)
        return answerQueued(text) == Answer::Yes;
    QMessageBox box(QMessageBox::Question, textOf(TextKey::P_MSGTitle), text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.button(QMessageBox::Yes)->setText(textOf(TextKey::Btn_Yes));
    box.button(QMessageBox::No)->setText(textOf(TextKey::Btn_No));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void DialogService::enableTestMode() {
    testState().enabled = true;
}

void DialogService::setNextAnswer(Answer answer) {
    testState().answers.enqueue(answer);
}

QStringList DialogService::shownTexts() {
    return testState().shown;
}

void DialogService::clearShownTexts() {
    testState().shown.clear();
    testState().answers.clear();
}

#include "ui/main/DialogService.h"

#include "app/LanguageTable.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>

namespace {

struct TestState {
    bool enabled = false;
    QQueue<DialogService::Answer> answers;
    QQueue<QString> fileNames;
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

QString DialogService::fileNameQueued(const QString& caption) {
    TestState& state = testState();
    state.shown.append(caption);
    if (state.fileNames.isEmpty())
        qFatal("Unexpected file dialog: %s", qPrintable(caption));
    return state.fileNames.dequeue();
}

QString DialogService::saveFileName(QWidget* parent, const QString& caption, const QString& suggestedPath,
                                    const QString& filter, const QString& defaultSuffix, Existing existing) {
    if (testState().enabled)
        return fileNameQueued(caption);
    QFileDialog dialog(parent, caption, suggestedPath, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, existing == Existing::Replace);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString DialogService::openFileName(QWidget* parent, const QString& caption, const QString& filter) {
    if (testState().enabled)
        return fileNameQueued(caption);
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void DialogService::enableTestMode() {
    testState().enabled = true;
}

void DialogService::setNextAnswer(Answer answer) {
    testState().answers.enqueue(answer);
}

void DialogService::setNextFileName(const QString& path) {
    testState().fileNames.enqueue(path);
}

QStringList DialogService::shownTexts() {
    return testState().shown;
}

void DialogService::clearShownTexts() {
    testState().shown.clear();
    testState().answers.clear();
    testState().fileNames.clear();
}

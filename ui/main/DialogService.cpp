#include "ui/main/DialogService.h"

#include "app/LanguageTable.h"
#include "app/QtTranslations.h"
#include "ui/main/MaskedInputQuery.h"

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
    QQueue<QString> inputs;
    QStringList shown;
};

TestState& testState() {
    static TestState state;
    return state;
}

// The desktop's file dialog when it speaks the program's language, Qt's own (which follows it) otherwise.
void chooseFileDialog(QFileDialog& dialog) {
    dialog.setOption(QFileDialog::DontUseNativeDialog, !QtTranslations::desktopSpeaksTheProgramLanguage());
}

} // namespace

DialogService::Answer DialogService::answerQueued(const QString& text) {
    TestState& state = testState();
    state.shown.append(text);
    if (state.answers.isEmpty())
        qFatal("Unexpected dialog: %s", qPrintable(text));
    return state.answers.dequeue();
}

void DialogService::information(QWidget* parent, const QString& text, const QString& caption) {
    if (testState().enabled) {
        answerQueued(text);
        return;
    }
    QMessageBox box(QMessageBox::Information, caption.isNull() ? textOf(TextKey::P_MSGTitle) : caption, text,
                    QMessageBox::Ok, parent);
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
    chooseFileDialog(dialog);
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
    chooseFileDialog(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

bool DialogService::maskedInput(QWidget* parent, const QString& caption, const QString& prompt, QString& value) {
    TestState& state = testState();
    if (!state.enabled)
        return MaskedInputQuery(parent, caption, prompt, textOf(TextKey::C_Btn_Confirm), textOf(TextKey::C_Btn_Cancel),
                                value);
    state.shown.append(prompt);
    if (state.inputs.isEmpty())
        qFatal("Unexpected input box: %s", qPrintable(prompt));
    const QString answer = state.inputs.dequeue();
    if (answer.isNull())
        return false;
    value = answer;
    return true;
}

void DialogService::setNextInput(const QString& text) {
    testState().inputs.enqueue(text);
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
    testState().inputs.clear();
}

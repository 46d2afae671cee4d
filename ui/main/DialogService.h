#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every modal question the program asks goes through here: information boxes and Yes/No questions captioned with
// the text of P_MSGTitle. Tests queue the answers in advance; a box that nobody expected ends the test run with
// its text instead of waiting forever for a click.
class DialogService {
public:
    enum class Answer { Ok, Yes, No };

    static void information(QWidget* parent, const QString& text);
    // True only when the user answers Yes.
    static bool question(QWidget* parent, const QString& text);

    // Test seam: from now on no dialog is shown; each box takes the next queued answer and its text is recorded.
    static void enableTestMode();
    static void setNextAnswer(Answer answer);
    static QStringList shownTexts();
    static void clearShownTexts();

private:
    static Answer answerQueued(const QString& text);
};

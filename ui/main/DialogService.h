#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every modal question the program asks goes through here: information boxes and Yes/No questions captioned with
// the text of P_MSGTitle, and the file dialog that asks where to save. Tests queue the answers in advance; a box
// that nobody expected ends the test run with its text instead of waiting forever for a click.
class DialogService {
public:
    enum class Answer { Ok, Yes, No };

    // Captioned P_MSGTitle unless a caption is given.
    static void information(QWidget* parent, const QString& text, const QString& caption = QString());
    // True only when the user answers Yes.
    static bool question(QWidget* parent, const QString& text);
    enum class Existing { Ask, Replace };
    // The path to save a file under, chosen by the user (defaultSuffix added when the name has none); empty when
    // cancelled. With Existing::Replace, choosing a file that exists asks no question.
    static QString saveFileName(QWidget* parent, const QString& caption, const QString& suggestedPath,
                                const QString& filter, const QString& defaultSuffix, Existing existing = Existing::Ask);
    // An existing file the user chooses to open; empty when cancelled. filter is in Qt's "Name (*.a *.b)" form.
    static QString openFileName(QWidget* parent, const QString& caption, const QString& filter);

    // A secret asked for in a masked field (the SO PIN before an initialization); true with the text on OK.
    static bool maskedInput(QWidget* parent, const QString& caption, const QString& prompt, QString& value);

    // Test seam: from now on no dialog is shown; each box takes the next queued answer and its text is recorded.
    static void enableTestMode();
    static void setNextAnswer(Answer answer);
    // The answer of the next file dialog (open or save): a path, or empty for Cancel. The caption is recorded as shown
    // text.
    static void setNextFileName(const QString& path);
    // The answer of the next masked input: the text typed, or null for Cancel. The prompt is recorded as shown.
    static void setNextInput(const QString& text);
    static QStringList shownTexts();
    static void clearShownTexts();

private:
    static Answer answerQueued(const QString& text);
    static QString fileNameQueued(const QString& caption);
};

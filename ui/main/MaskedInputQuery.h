#pragma once

#include <QString>

class QWidget;

// A modal question for a secret: a prompt, a field that shows "*" for what is typed (at most 255 characters), OK
// and Cancel. True with the text typed when OK was pressed; false, value unchanged, otherwise. Laid out in dialog
// units of its font, as a native input box is.
bool MaskedInputQuery(QWidget* parent, const QString& caption, const QString& prompt, const QString& okText,
                      const QString& cancelText, QString& value);

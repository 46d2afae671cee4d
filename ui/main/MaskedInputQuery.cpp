#include "ui/main/MaskedInputQuery.h"

#include "ui/main/FormControls.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

constexpr int MaximumLength = 255;

// Dialog units of a font: a quarter of the average width of the 52 Latin letters, an eighth of the line height.
struct DialogUnits {
    explicit DialogUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        averageWidth = metrics.horizontalAdvance(letters) / double(letters.size());
        height = metrics.height();
    }
    int x(int units) const { return qRound(units * averageWidth / 4); }
    int y(int units) const { return qRound(units * height / 8.0); }

    double averageWidth;
    int height;
};

} // namespace

bool MaskedInputQuery(QWidget* parent, const QString& caption, const QString& prompt, const QString& okText,
                      const QString& cancelText, QString& value) {
    QDialog dialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    dialog.setObjectName(QStringLiteral("MaskedInputQuery"));
    dialog.setAttribute(Qt::WA_WindowPropagation);
    dialog.setWindowTitle(caption);
    dialog.ensurePolished();
    const DialogUnits units(dialog.font());

    auto* label = new QLabel(prompt, &dialog);
    label->setWordWrap(true);
    label->setFixedWidth(units.x(164));
    label->adjustSize();
    label->move(units.x(8), units.y(8));
    QLineEdit* edit = FormControls::pinEdit(&dialog, "edtValue", MaximumLength);
    edit->setText(value);
    edit->selectAll();
    edit->setGeometry(units.x(8), label->geometry().bottom() + 1 + 5, units.x(200), edit->sizeHint().height());
    const int buttonTop = edit->geometry().bottom() + 1 + 15;
    auto* ok = new QPushButton(okText, &dialog);
    ok->setObjectName(QStringLiteral("btnOK"));
    ok->setDefault(true);
    ok->setGeometry(units.x(38), buttonTop, units.x(50), units.y(14));
    auto* cancel = new QPushButton(cancelText, &dialog);
    cancel->setObjectName(QStringLiteral("btnCancel"));
    cancel->setGeometry(units.x(122), buttonTop, units.x(50), units.y(14));
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
    dialog.setFixedSize(units.x(220), cancel->geometry().bottom() + 1 + 13);
    edit->setFocus();

    const bool confirmed = dialog.exec() == QDialog::Accepted;
    if (confirmed)
        value = edit->text();
    edit->clear();
    return confirmed;
}

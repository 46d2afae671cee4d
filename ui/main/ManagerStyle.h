#pragma once

#include <QProxyStyle>

// The program's look on top of the platform style: secret fields echo "*", as the token maker's tools always did.
class ManagerStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr, const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

// Fills a message pattern of the text table the way the language files expect: "%d", "%s", "%x", "%f", "%u" with
// an optional "-" (left-justify), width and ".precision" ("%.2d" pads to two digits, "%.8x" gives eight upper-case
// hexadecimal digits of the 32-bit value, "%.2f" two decimals, "%.3s" cuts), and "%%". Arguments are taken in
// order: integers for d, u and x, numbers for f, texts for s. A specifier without a fitting argument stays as
// written, so a faulty language file shows a visible mistake instead of taking the program down.
QString Format(const QString& pattern, const QVariantList& arguments);

// A moment as the locale writes it: its short date, then its long time, which is left out at exactly midnight.
QString ShortDateLongTime(const QDateTime& moment);

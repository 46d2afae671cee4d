#pragma once

#include <QString>

// The desktop's default web browser, as the system check names it: the handler of https (else http) links that the
// freedesktop.org mimeapps.list files name, else Debian's x-www-browser alternative. Nothing is started but the
// package manager's query for the version.
struct DefaultBrowser {
    QString name;    // the desktop entry's Name, else the program's file name; empty without a browser
    QString version; // the installed package's version; empty when no package owns the browser

    static DefaultBrowser find();
    // The summary's value: a prefix naming the browser, then the version after a full-width colon.
    QString rowText() const;
    // The full check's: the browser's name, a space, the version.
    QString checkText() const;

private:
    QString shownName() const;
};

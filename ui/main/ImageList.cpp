#include "ui/main/ImageList.h"

#include <QPixmap>

ImageList::ImageList(const QList<QString>& files) {
    for (const QString& file : files)
        m_icons.append(file.isEmpty() ? QIcon() : QIcon(file));
}

QIcon ImageList::icon(int index) const {
    return index >= 0 && index < m_icons.size() ? m_icons[index] : QIcon();
}

bool ImageList::addFile(const QString& path) {
    const QPixmap picture(path);
    if (picture.isNull())
        return false;
    m_icons.append(QIcon(picture));
    return true;
}

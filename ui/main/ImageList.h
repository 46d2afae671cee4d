#pragma once

#include <QIcon>
#include <QList>
#include <QString>

// Pictures addressed by index, as the tree nodes and buttons of the window refer to them. An index with no picture
// gives an empty icon.
class ImageList {
public:
    ImageList() = default;
    // Builds a list from resource files; an empty name leaves that index without a picture.
    explicit ImageList(const QList<QString>& files);

    QIcon icon(int index) const;
    int count() const { return static_cast<int>(m_icons.size()); }
    void clear() { m_icons.clear(); }
    // Appends the picture of a file; false (and nothing appended) when the file does not hold one.
    bool addFile(const QString& path);

private:
    QList<QIcon> m_icons;
};

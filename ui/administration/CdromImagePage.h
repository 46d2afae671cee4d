#pragma once

#include "ui/main/Page.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

// Page 10: write an ISO image into the token's CD-ROM partition.
class CdromImagePage : public Page {
    Q_OBJECT
public:
    CdromImagePage(PageHost& host, QWidget* parent);
    void applyTexts() override;
    void updateActions() override;

    // The image is written in chunks of this many bytes (32 sectors of 2048), with a pause before each write that
    // lets the token catch up; tests shorten the pause.
    static constexpr qint64 ChunkBytes = 65536;
    static constexpr int SectorBytes = 2048;
    static void setChunkPause(int milliseconds);
    // What WriteCdromImage returns when the file could not be opened or read.
    static constexpr int32_t FileError = -1;

    // Writes the file at path into the CD-ROM partition of token index from sector 0; 0, the first failing code of
    // the token, or FileError.
    int32_t WriteCdromImage(int32_t index, const QString& path);

private:
    void AcDownISOExecute();
    void btnBrowseISOClick();

    QLabel* const LAdmin_UPIN;
    QLineEdit* const edtUPINForDownISO;
    QLabel* const LAdmin_ISOPath;
    QLineEdit* const edtPath;
    QToolButton* const btnBrowseISO;
    QProgressBar* const PBISO;
    QPushButton* const btnDownISO;
    QAction* const AcDownISO;
    // Why the file could not be read, after WriteCdromImage returned FileError.
    QString m_fileError;
};

// The small dialog at the end of a PSP batch: where the files are, and the
// offer to copy them to the device.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace velorin::conv {

class TfrmFinish : public QDialog {
    Q_OBJECT
public:
    explicit TfrmFinish(QWidget *parent = nullptr);

    // Set by the caller before showing.
    std::string OutputFolder;
    // True when the user chose the upload.
    bool UploadRequested = false;

    void FormShow();
    void btnUploadToPSPClick();
    void btnOpenFolderClick();
    void btnCancelClick();

    QLabel *lblMain;
    QPushButton *btnUploadToPSP;
    QPushButton *btnOpenFolder;
    QPushButton *btnCancel;
    QPushButton *suiImageButton1;
    QPushButton *suiImageButton2;

    // The label's caption before FormShow fills in the folder.
    static QString CaptionFormat();

protected:
    void showEvent(QShowEvent *event) override;
};

}  // namespace velorin::conv

#include "conversion/TfrmFinish.h"

#include <QLabel>
#include <QPushButton>

#include "TitleStrip.h"
#include "conversion/TfrmStart.h"
#include "core/SysConfigure.h"

namespace velorin::conv {

QString TfrmFinish::CaptionFormat() {
    return QStringLiteral(
        "All process finish!\r\n"
        "Output video folder: %s\r\n"
        "Next step: Connect your PSP to your PC via USB cable, \r\n"
        "and then click \"Upload to PSP\" button.");
}

TfrmFinish::TfrmFinish(QWidget *parent) : QDialog(parent) {
    setObjectName("frmFinish");
    setWindowTitle(QString::fromStdString(ApplicationTitle()));
    setFixedSize(420, 200);
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setStyleSheet(FramedWindowStyle(objectName()));

    lblMain = new QLabel(CaptionFormat(), this);
    lblMain->setObjectName("lblMain");
    lblMain->setGeometry(16, 32, 388, 104);
    lblMain->setWordWrap(true);

    btnUploadToPSP = new QPushButton("Upload to PSP", this);
    btnUploadToPSP->setObjectName("btnUploadToPSP");
    btnUploadToPSP->setGeometry(16, 150, 120, 30);
    btnOpenFolder = new QPushButton("Open Folder", this);
    btnOpenFolder->setObjectName("btnOpenFolder");
    btnOpenFolder->setGeometry(150, 150, 120, 30);
    btnCancel = new QPushButton("Cancel", this);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setGeometry(284, 150, 120, 30);
    suiImageButton1 = new QPushButton("_", this);
    suiImageButton1->setObjectName("suiImageButton1");
    suiImageButton1->setGeometry(370, 0, 24, 16);
    suiImageButton2 = new QPushButton("x", this);
    suiImageButton2->setObjectName("suiImageButton2");
    suiImageButton2->setGeometry(396, 0, 24, 16);
    new TitleStrip(this, windowTitle(), suiImageButton1, suiImageButton2);

    connect(btnUploadToPSP, &QPushButton::clicked, this, [this] { btnUploadToPSPClick(); });
    connect(btnOpenFolder, &QPushButton::clicked, this, [this] { btnOpenFolderClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(suiImageButton1, &QPushButton::clicked, this, [this] { showMinimized(); });
    connect(suiImageButton2, &QPushButton::clicked, this, [this] { btnCancelClick(); });
}

void TfrmFinish::showEvent(QShowEvent *event) {
    QDialog::showEvent(event);
    FormShow();
}

void TfrmFinish::FormShow() {
    QString caption = CaptionFormat();
    caption.replace("%s", QString::fromStdString(OutputFolder));
    lblMain->setText(caption);
    btnUploadToPSP->setFocus();
}

void TfrmFinish::btnUploadToPSPClick() {
    UploadRequested = true;
    accept();
}

void TfrmFinish::btnOpenFolderClick() { OpenInShell(OutputFolder, 0); }

void TfrmFinish::btnCancelClick() { reject(); }

}  // namespace velorin::conv

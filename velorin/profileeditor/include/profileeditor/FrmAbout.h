// The about box: product name, version, notice, and the project's links.
// Links open through Dialogs().ShellOpen. GUI thread only.
#pragma once

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace velorin {

// The project's page and mail address, the only places they are spelled.
extern const char *const kProjectHomepage;   // "https://velorin.example.org"
extern const char *const kProjectEmail;

// "Version: <major>.<build two digits>", from the program's version.
QString AboutVersionText();

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *owner = nullptr);

    void lblHomepageClick();
    void lblEmailClick();
    void btnOKClick();

    QLabel *lblProduct;
    QLabel *lblVersion;
    QPlainTextEdit *Memo1;
    QLabel *lblHomepage, *lblHomepageLink;
    QLabel *lblEmail, *lblEmailLink;
    QPushButton *btnOK;
    // Title bar: minimise and close.
    QToolButton *suiImageButton1, *suiImageButton2;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// Creates the about box owned by `owner`, shows it modally and frees it.
void ShowAboutBox(QWidget *owner);

}  // namespace velorin

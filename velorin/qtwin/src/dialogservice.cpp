// Qt implementation of the dialog service.
#include "core/DialogService.h"
#include "qtwin/qtwin.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QStringList>
#include <QUrl>

namespace qtwin {

QString ConvertFileFilter(const std::string &filter) {
    const QStringList fields = QString::fromStdString(filter).split('|');
    QStringList entries;
    for (int i = 0; i + 1 < fields.size(); i += 2) {
        QString description = fields[i].trimmed();
        QStringList patterns;
        for (const QString &p : fields[i + 1].split(';', Qt::SkipEmptyParts)) {
            QString pattern = p.trimmed();
            // "*.*" means every file; on Linux names need not have a dot.
            if (pattern == "*.*") pattern = "*";
            if (!pattern.isEmpty()) patterns << pattern;
        }
        if (patterns.isEmpty()) continue;
        if (description.isEmpty()) description = patterns.join(' ');
        // QFileDialog reads the patterns from the last brackets of the entry,
        // so they are always appended, even when the description has its own
        // bracketed list ("Divx(*.divx,*.div)" is not a pattern list to Qt).
        entries << description + " (" + patterns.join(' ') + ")";
    }
    return entries.join(";;");
}

namespace {

QWidget *DialogParent() {
    QWidget *parent = QApplication::activeModalWidget();
    if (!parent) parent = QApplication::activeWindow();
    return parent;
}

QMessageBox::Icon ToQt(velorin::MsgIcon icon) {
    switch (icon) {
    case velorin::MsgIcon::Information: return QMessageBox::Information;
    case velorin::MsgIcon::Warning: return QMessageBox::Warning;
    case velorin::MsgIcon::Error: return QMessageBox::Critical;
    case velorin::MsgIcon::Question: return QMessageBox::Question;
    case velorin::MsgIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

void PrepareDialog(QFileDialog &dialog, const velorin::FileDialogRequest &request) {
    dialog.setWindowTitle(QString::fromStdString(request.title));
    if (!request.folder.empty()) dialog.setDirectory(QString::fromStdString(request.folder));
    const QString filters = ConvertFileFilter(request.filter);
    if (!filters.isEmpty()) {
        const QStringList list = filters.split(";;");
        dialog.setNameFilters(list);
        const int index = request.filterIndex - 1;
        if (index >= 0 && index < list.size()) dialog.selectNameFilter(list[index]);
    }
}

class DialogServiceQt : public velorin::DialogService {
public:
    velorin::MsgResult MessageBox(const std::string &text, const std::string &caption,
                                  velorin::MsgButtons buttons, velorin::MsgIcon icon) override {
        QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                        QMessageBox::NoButton, DialogParent());
        switch (buttons) {
        case velorin::MsgButtons::Ok: box.setStandardButtons(QMessageBox::Ok); break;
        case velorin::MsgButtons::OkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
        case velorin::MsgButtons::YesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
        case velorin::MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
        }
        switch (box.exec()) {
        case QMessageBox::Yes: return velorin::MsgResult::Yes;
        case QMessageBox::No: return velorin::MsgResult::No;
        case QMessageBox::Ok: return velorin::MsgResult::Ok;
        default:
            // Escape or the close button: the answer that changes nothing.
            if (buttons == velorin::MsgButtons::YesNo) return velorin::MsgResult::No;
            if (buttons == velorin::MsgButtons::Ok) return velorin::MsgResult::Ok;
            return velorin::MsgResult::Cancel;
        }
    }

    std::vector<std::string> OpenFiles(const velorin::FileDialogRequest &request) override {
        QFileDialog dialog(DialogParent());
        PrepareDialog(dialog, request);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.multiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        std::vector<std::string> result;
        if (dialog.exec() != QDialog::Accepted) return result;
        for (const QString &file : dialog.selectedFiles()) result.push_back(file.toStdString());
        return result;
    }

    std::string SaveFile(const velorin::FileDialogRequest &request) override {
        QFileDialog dialog(DialogParent());
        PrepareDialog(dialog, request);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (!request.fileName.empty()) dialog.selectFile(QString::fromStdString(request.fileName));
        // The default extension follows the first pattern of the chosen filter.
        const QString filters = ConvertFileFilter(request.filter);
        if (!filters.isEmpty()) {
            const QString first = filters.section(";;", 0, 0);
            const int open = first.lastIndexOf('(');
            QString pattern = first.mid(open + 1).section(' ', 0, 0).remove(')');
            if (pattern.startsWith("*.") && pattern.size() > 2) dialog.setDefaultSuffix(pattern.mid(2));
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
        return dialog.selectedFiles().first().toStdString();
    }

    std::string SelectFolder(const std::string &title, const std::string &start) override {
        return QFileDialog::getExistingDirectory(DialogParent(), QString::fromStdString(title),
                                                 QString::fromStdString(start))
            .toStdString();
    }

    bool ShellOpen(const std::string &pathOrUrl) override {
        const QString target = QString::fromStdString(pathOrUrl);
        if (target.isEmpty()) return false;
        const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(target) : QUrl::fromUserInput(target);
        if (QDesktopServices::openUrl(url)) return true;
        // Desktops without a URL handler registered with Qt still have xdg-open.
        return QProcess::startDetached("xdg-open", {url.isLocalFile() ? url.toLocalFile() : url.toString()});
    }
};

}  // namespace

velorin::DialogService *QtDialogService() {
    static DialogServiceQt service;
    return &service;
}

}  // namespace qtwin

#include "app/Filedialogs.h"

#include <QCompleter>
#include <QLineEdit>

namespace volm::ui {

QFileDialog* NewFileDialog(QWidget* parent, const QString& title, const char* objectName, TFileWanted wanted,
                           const QStringList& filters, const QString& defaultSuffix)
{
    auto* d = new QFileDialog(parent, title);
    d->setObjectName(QString::fromLatin1(objectName));
    d->setOption(QFileDialog::DontUseNativeDialog);
    d->setAcceptMode(QFileDialog::AcceptOpen);
    // An existing file: the path and the file must exist.
    d->setFileMode(wanted == TFileWanted::Existing ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    d->setNameFilters(filters);
    if (!defaultSuffix.isEmpty())
        d->setDefaultSuffix(defaultSuffix);
    d->setSizeGripEnabled(true);
    UseInlineCompletion(d);
    return d;
}

void UseInlineCompletion(QFileDialog* dialog)
{
    if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        if (QCompleter* c = name->completer())
            c->setCompletionMode(QCompleter::InlineCompletion);
}

QString ChooseFile(QFileDialog* dialog)
{
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return {};
    return dialog->selectedFiles().first();
}

QString ChooseFolder(QWidget* parent, const QString& title, const QString& start)
{
    QFileDialog d(parent, title, start);
    d.setObjectName(QStringLiteral("FolderDialog"));
    d.setOption(QFileDialog::DontUseNativeDialog);
    d.setFileMode(QFileDialog::Directory);
    d.setOption(QFileDialog::ShowDirsOnly);
    d.setSizeGripEnabled(true);
    UseInlineCompletion(&d);
    return ChooseFile(&d);
}

} // namespace volm::ui

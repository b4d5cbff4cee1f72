#pragma once
// The program's file dialogs: the toolkit's own (the same on every desktop),
// whose name field completes a typed name in place, so that no list of names
// pops up (and none stays behind on the screen when the dialog closes).

#include <QFileDialog>
#include <QString>
#include <QStringList>

class QWidget;

namespace volm::ui {

// What a file dialog asks for: a file that exists (to read), or any name
// (an existing file, or a new one to create).
enum class TFileWanted { Existing, AnyName };

// A file dialog titled `title`, named `objectName`, offering `filters` (the
// first chosen); `defaultSuffix` is added to a typed name without one.
QFileDialog* NewFileDialog(QWidget* parent, const QString& title, const char* objectName, TFileWanted wanted,
                           const QStringList& filters, const QString& defaultSuffix = {});

// Makes the dialog's name field complete in place.
void UseInlineCompletion(QFileDialog* dialog);

// Shows the dialog modally: the file chosen, or "" when it was cancelled.
QString ChooseFile(QFileDialog* dialog);

// Asks for an existing folder (a dialog named "FolderDialog", opened at
// `start`): the folder chosen, or "" when it was cancelled.
QString ChooseFolder(QWidget* parent, const QString& title, const QString& start);

} // namespace volm::ui

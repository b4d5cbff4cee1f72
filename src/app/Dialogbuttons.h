// The buttons that end a dialog: the accepting one is the default button
// (Enter), the rejecting one does what Escape does.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPushButton>
#include <QString>

namespace volm::ui {

inline QPushButton* AcceptButton(QDialog* dialog, const QString& caption, const char* name, const QIcon& icon = {})
{
    auto* b = new QPushButton(icon, caption, dialog);
    b->setObjectName(QString::fromLatin1(name));
    b->setDefault(true);
    QObject::connect(b, &QPushButton::clicked, dialog, &QDialog::accept);
    return b;
}

inline QPushButton* RejectButton(QDialog* dialog, const QString& caption, const char* name, const QIcon& icon = {})
{
    auto* b = new QPushButton(icon, caption, dialog);
    b->setObjectName(QString::fromLatin1(name));
    QObject::connect(b, &QPushButton::clicked, dialog, &QDialog::reject);
    return b;
}

} // namespace volm::ui

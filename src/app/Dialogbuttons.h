// The buttons that end a dialog: the accepting one is the default button
// (Enter), the rejecting one does what Escape does; and their layout.
#pragma once

#include <QBoxLayout>
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

// The two buttons in a layout of their own: a row at the right, or a column
// at the top.
inline QBoxLayout* ButtonBox(Qt::Orientation orientation, QPushButton* accept, QPushButton* reject)
{
    const bool row = orientation == Qt::Horizontal;
    auto* box = row ? static_cast<QBoxLayout*>(new QHBoxLayout) : new QVBoxLayout;
    if (row)
        box->addStretch(1);
    box->addWidget(accept);
    box->addWidget(reject);
    if (!row)
        box->addStretch(1);
    return box;
}

} // namespace volm::ui

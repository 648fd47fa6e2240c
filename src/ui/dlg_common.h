// Pieces every dialog window shares: the OK/Cancel row and conversions between std and Qt text.
#pragma once

#include <QDialog>
#include <QDialogButtonBox>
#include <QString>
#include <initializer_list>
#include <string>

class QBoxLayout;

namespace rf::ui {

inline QString Qs(const std::string& text) { return QString::fromStdString(text); }
inline std::string Ss(const QString& text) { return text.toStdString(); }

// Appends OK and Cancel to layout, wired to accept and reject; OK is the default button, so
// Return confirms and Escape cancels.
QDialogButtonBox* AddOkCancel(QDialog* dialog, QBoxLayout* layout);

// Sets the tab order to the order of the list, the order in which a person reads the window.
void ChainTabOrder(std::initializer_list<QWidget*> widgets);

// Runs the dialog modally; true when it was accepted.
inline bool RunModal(QDialog& dialog) { return dialog.exec() == QDialog::Accepted; }

}  // namespace rf::ui

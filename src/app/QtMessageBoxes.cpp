#include "app/QtMessageBoxes.h"

#include <QMessageBox>

namespace hoplark {

void QtMessageBoxes::showError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("Hoplark"), text);
}

void QtMessageBoxes::showErrorWithPath(QWidget* parent, const QString& text, const QString& path) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Hoplark"), text + u'\n' + path,
                    QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    // The path can be selected with the mouse or the keyboard and copied.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.exec();
}

void QtMessageBoxes::showStartupError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("Error"), text);
}

void QtMessageBoxes::showWorkerError(QWidget* parent, const QString& text,
                                     std::function<void()> closed) {
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Hoplark"), text,
                                QMessageBox::Ok, parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    // Tied to the box: a window that closes first takes its boxes and this call with it.
    QObject::connect(box, &QMessageBox::finished, box, [closed = std::move(closed)] {
        if (closed) closed();
    });
    box->show();
}

}  // namespace hoplark

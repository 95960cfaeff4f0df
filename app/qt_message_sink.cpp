#include "app/qt_message_sink.h"

#include <QApplication>
#include <QMessageBox>

namespace tamsu {

namespace {

QMessageBox::Icon ToQt(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void QtMessageSink::ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) {
  QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
  QMessageBox box(ToQt(icon), QString::fromStdString(caption),
                  // Line breaks arrive in the device maker's CR LF; Qt lays out LF.
                  QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                  QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.setObjectName(QStringLiteral("messageBox"));
  box.exec();
}

bool QtMessageSink::Confirm(const std::string& text, const std::string& caption) {
  QWidget* parent = parent_ ? parent_.data() : QApplication::activeWindow();
  QMessageBox box(QMessageBox::Warning, QString::fromStdString(caption), QString::fromStdString(text),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);  // the safe answer for a hurried Enter
  box.setObjectName(QStringLiteral("confirmBox"));
  return box.exec() == QMessageBox::Yes;
}

}  // namespace tamsu

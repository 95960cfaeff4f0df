// The production message sink: one modal QMessageBox with an OK button per message.
#pragma once

#include <QPointer>
#include <QWidget>

#include "modbus/ui.h"

namespace tamsu {

class QtMessageSink : public MessageSink {
 public:
  // Boxes are centred on `parent`, or on the active window while it is unset.
  explicit QtMessageSink(QWidget* parent = nullptr) : parent_(parent) {}
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowMessage(const std::string& text, const std::string& caption, MessageIcon icon) override;
  bool Confirm(const std::string& text, const std::string& caption) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace tamsu

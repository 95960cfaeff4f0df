// "Network port…": asks for the address of a serial gateway (tcp://HOST:PORT, rfc2217://HOST:PORT
// or a bare HOST:PORT) and refuses a malformed one on the spot, saying why.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;

namespace tamsu {

class NetworkPortDialog : public QDialog {
  Q_OBJECT
 public:
  explicit NetworkPortDialog(QWidget* parent = nullptr, const QString& initial = QString());
  // The accepted address, in its canonical spelling ("tcp://HOST:PORT", "rfc2217://HOST:PORT").
  std::string Address() const { return address_; }
  // Takes the typed address: accepts the dialog, or shows why it is refused.
  void TryAccept();

 private:
  QLineEdit* edit_ = nullptr;
  QLabel* problem_ = nullptr;
  std::string address_;
};

}  // namespace tamsu

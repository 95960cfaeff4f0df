#include "app/network_port_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "serial/network_ports.h"

namespace tamsu {

NetworkPortDialog::NetworkPortDialog(QWidget* parent, const QString& initial) : QDialog(parent) {
  setObjectName(QStringLiteral("NetworkPortDialog"));
  setWindowTitle(QStringLiteral("Network port"));
  auto* layout = new QVBoxLayout(this);
  auto* label = new QLabel(QStringLiteral("Gateway address (tcp://HOST:PORT or rfc2217://HOST:PORT):"), this);
  layout->addWidget(label);
  edit_ = new QLineEdit(initial, this);
  edit_->setObjectName(QStringLiteral("networkAddress"));
  edit_->setAccessibleName(QStringLiteral("Gateway address"));
  edit_->setPlaceholderText(QStringLiteral("rfc2217://192.168.1.20:2217"));
  label->setBuddy(edit_);
  layout->addWidget(edit_);
  problem_ = new QLabel(this);
  problem_->setObjectName(QStringLiteral("networkAddressProblem"));
  problem_->setWordWrap(true);
  problem_->setStyleSheet(QStringLiteral("color: #b00020"));
  problem_->hide();
  layout->addWidget(problem_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("networkOk"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  cancel->setObjectName(QStringLiteral("networkCancel"));
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  connect(ok, &QPushButton::clicked, this, &NetworkPortDialog::TryAccept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  // A problem shown for the old text would be wrong for the new one.
  connect(edit_, &QLineEdit::textEdited, problem_, &QLabel::hide);
  setMinimumWidth(fontMetrics().averageCharWidth() * 60);
}

void NetworkPortDialog::TryAccept() {
  const NetworkAddress address = ParseNetworkAddress(edit_->text().toStdString());
  if (!address) {
    problem_->setText(QString::fromStdString(address.error));
    problem_->setAccessibleName(problem_->text());
    problem_->show();
    edit_->setFocus();
    return;
  }
  address_ = address.Canonical();
  accept();
}

}  // namespace tamsu

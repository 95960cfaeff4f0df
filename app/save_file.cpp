#include "app/save_file.h"

#include <QSaveFile>
#include <cerrno>
#include <system_error>

namespace tamsu {

bool SaveWholeFile(const QString& path, const QByteArray& bytes, QString* error) {
  QSaveFile file(path);
  auto fail = [&](const QString& why) {
    if (error) *error = why;
    return false;  // the temporary file goes with `file`; the old one stays as it was
  };
  // Unbuffered, so a short write (a full disk, a size limit) shows in the count written: the
  // buffered flush inside commit() would take a cut file for a whole one.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return fail(file.errorString());
  if (file.write(bytes) != bytes.size()) {
    // Qt calls a short write no error; the system's reason is that of the write that stopped.
    const int cause = errno;
    if (file.error() != QFileDevice::NoError) return fail(file.errorString());
    return fail(QString::fromStdString(std::generic_category().message(cause)));
  }
  if (!file.commit()) return fail(file.errorString());
  return true;
}

}  // namespace tamsu

// Saving what the user asked for to the file they picked, whole or not at all.
#pragma once

#include <QByteArray>
#include <QString>

namespace tamsu {

// Writes `bytes` to `path`: an existing file is replaced only once the new one is complete on
// disk, so a full disk or a lost folder never leaves a file half written. On failure, false
// and why.
bool SaveWholeFile(const QString& path, const QByteArray& bytes, QString* error);

}  // namespace tamsu

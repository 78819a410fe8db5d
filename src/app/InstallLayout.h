#pragma once
#include <QDir>
#include <QString>

#include "platform/InstallLayout.h"

// Where an installed program keeps the files it reads (pictures, note,
// workbook, manual): <prefix>/share/zelvan beside <prefix>/bin.
inline QString InstalledFilesDir(const QString& appDir)
{
    return QDir(appDir).filePath(QString::fromLatin1(platform::kInstalledFilesFromProgram));
}

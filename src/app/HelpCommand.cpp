#include "app/HelpCommand.h"

#include "app/InstallLayout.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

namespace {

// Long enough for a slow desktop database, short enough for a click.
constexpr int kQueryTimeoutMs = 3000;

QString ChmMimeType(const QString& path)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    return type.isDefault() ? QStringLiteral("application/vnd.ms-htmlhelp") : type.name();
}

} // namespace

QUrl CHelpCommand::Target(const QString& appDir, const HandlerQuery& hasHandler)
{
    QDir dir(appDir);
    QString chm = dir.filePath(QString::fromLatin1(kHelpFile));
    if (!QFileInfo(chm).isFile()) {
        // An installed program keeps its manual with its other files.
        dir.setPath(InstalledFilesDir(appDir));
        chm = dir.filePath(QString::fromLatin1(kHelpFile));
    }
    if (!QFileInfo(chm).isFile())
        return {};
    if (hasHandler && hasHandler(ChmMimeType(chm)))
        return QUrl::fromLocalFile(chm);
    const QString html = dir.filePath(QString::fromLatin1(kHtmlIndex));
    if (QFileInfo(html).isFile())
        return QUrl::fromLocalFile(html);
    return {};
}

bool CHelpCommand::DesktopHasHandler(const QString& mimeType)
{
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (tool.isEmpty())
        return false;
    QProcess query;
    query.start(tool, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
    if (!query.waitForFinished(kQueryTimeoutMs)) {
        query.kill();
        query.waitForFinished();
        return false;
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}

void CHelpCommand::Open(const QString& appDir)
{
    const QUrl target = Target(appDir, &CHelpCommand::DesktopHasHandler);
    if (!target.isEmpty())
        QDesktopServices::openUrl(target);
}

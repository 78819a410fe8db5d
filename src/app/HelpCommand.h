#pragma once
#include <QString>
#include <QUrl>

#include <functional>

// The help command: "Help.chm" from the program's folder (for an installed
// program: <prefix>/share/zelvan), opened with the desktop's handler for it. Where no program is registered for compiled
// help (the usual Linux desktop), the same manual as HTML beside it opens
// in the browser instead. Without "Help.chm" nothing happens.
class CHelpCommand {
public:
    static constexpr const char* kHelpFile = "Help.chm";
    static constexpr const char* kHtmlIndex = "help/index.html";

    // Whether a desktop program is registered for files of a MIME type.
    using HandlerQuery = std::function<bool(const QString& mimeType)>;

    // What the command opens for a program in appDir; empty for nothing.
    static QUrl Target(const QString& appDir, const HandlerQuery& hasHandler);

    // Asks the desktop's MIME associations (xdg-mime); false when it
    // cannot tell.
    static bool DesktopHasHandler(const QString& mimeType);

    // Opens the target, if any, with the desktop. The result is not checked.
    static void Open(const QString& appDir);
};

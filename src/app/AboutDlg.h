#pragma once
#include <QDialog>

#include "ui/DialogTemplate.h"

// "About Zelvan": the program's name and version, a picture and one line
// set at initialisation.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int IDD = 100;
    static constexpr int IDC_PICTURE = 1023;
    static constexpr int IDC_LINE = 1024;
    // Where the program reads its files and writes the day's history.
    static constexpr int IDC_FILES = 1025;
    static constexpr int IDC_HISTORY = 1026;

    explicit CAboutDlg(QWidget* pParent = nullptr);
    static const dlg::STemplate& Template();
    // The one line below the version: the build date and the Qt version.
    static QString SupportLine();
    // "Files: <folder>" and "History: <folder>".
    static QString FilesLine();
    static QString HistoryLine();
};

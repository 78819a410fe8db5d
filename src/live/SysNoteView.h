#pragma once
#include "ui/DialogTemplate.h"

#include <QImage>
#include <QPixmap>
#include <QWidget>

class CMyTextBox;
class QLabel;
class QTextEdit;

// The "System view" tab: a picture of the system ("Principle") or an
// explanatory note ("Text Info") in one area, and below them the CO2 figure
// the power view computes once per polling cycle. The picture and the note
// are files in the working directory, so an installer can replace them.
class CSysNoteView : public QWidget {
    Q_OBJECT
public:
    static constexpr int IDD = 103;
    static constexpr int IDC_PRINCIPLE = 1000;
    static constexpr int IDC_TEXT_INFO = 1001;
    static constexpr int IDC_MOVIE = 1002;
    static constexpr int IDC_PICTURE = 1004;
    static constexpr int IDC_CO2 = 1011;
    static constexpr int IDC_NOTE = 1014;
    static constexpr const char* kPictureFile = "1.bmp";
    static constexpr const char* kNoteFile = "myfile.rtf";
    // A note is a page or two; the rest of a larger file is not read.
    static constexpr qint64 kMaxNoteBytes = 16 << 20;

    explicit CSysNoteView(QWidget* pParent = nullptr);

    static const dlg::STemplate& Template();

    // Called by the frame when the view is first shown, and again on later
    // initial updates: loads the picture; the first time also the note.
    void OnInitialUpdate();
    void OnPrinciple();
    void OnTextInfo();

    // "CO2 reduction  %3.1f Kg", numbers in the C locale.
    void SetCO2(double dKg);
    static QString CO2Text(double dKg);

    CMyTextBox* CO2Box() const { return m_pBoxCO2; }
    bool IsInitialised() const { return m_bInitialised; }
    // The loaded picture's own size; 0 x 0 when "1.bmp" could not be read.
    QSize PictureSize() const { return {m_nPictureWidth, m_nPictureHeight}; }

protected:
    void resizeEvent(QResizeEvent* pEvent) override;

private:
    void LoadPicture();
    void ShowPicture();
    void LoadNote();

    QImage m_picture;
    QLabel* m_pWndPicture = nullptr;
    QPixmap m_startPicture; // shown until the file's picture covers it
    int m_nPictureWidth = 0;
    int m_nPictureHeight = 0;
    bool m_bInitialised = false;
    CMyTextBox* m_pBoxCO2 = nullptr;
    QTextEdit* m_pWndText = nullptr;
};

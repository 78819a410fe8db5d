#pragma once
#include "app/DialogTemplate.h"

#include <QWidget>

class CMyTextBox;

// The "System view" tab: a picture of the system or an explanatory note, and
// below them the CO2 figure the power view computes once per polling cycle.
// The form and the CO2 box are here; the picture, the note and the two
// buttons' handlers attach in OnInitialUpdate and the button slots.
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

    explicit CSysNoteView(QWidget* pParent = nullptr);

    static const dlg::STemplate& Template();

    // Called by the frame when the view is first shown, and again on later
    // initial updates.
    void OnInitialUpdate();

    // "CO2 reduction  %3.1f Kg", numbers in the C locale.
    void SetCO2(double dKg);
    static QString CO2Text(double dKg);

    CMyTextBox* CO2Box() const { return m_pBoxCO2; }
    bool IsInitialised() const { return m_bInitialised; }

private:
    CMyTextBox* m_pBoxCO2 = nullptr;
    bool m_bInitialised = false;
};

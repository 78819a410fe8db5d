#pragma once
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>
#include <QWidget>

#include <vector>

// Dialogs and forms built from their templates: each control carries its
// numeric id in objectName ("1096") and is placed from dialog units through
// the template font's metrics, as the dialog manager places them.
namespace dlg {

enum class EKind {
    Static,    // text label
    Edit,      // single-line edit field
    Button,    // push button
    DefButton, // default push button
    CheckBox,  // auto check box
    ComboBox,  // drop-down list
    ListBox,   // list of lines
    GroupBox,  // titled frame drawn behind its controls
    Picture,   // picture static: an image set by the owner
    RichText,  // read-only formatted text
};

// Style flags of one control.
enum EStyle : unsigned {
    kHidden = 1u << 0,
    kDisabled = 1u << 1,
    kCentre = 1u << 2,   // static text centred
    kRight = 1u << 3,    // static text right-aligned
    kReadOnly = 1u << 4, // edit
    kEditable = 1u << 5, // combo box with an edit field
    kNoWrap = 1u << 6,   // static text on one line
};

constexpr int kNoId = -1; // a control the code never addresses

struct SControl {
    EKind kind = EKind::Static;
    int nId = kNoId;
    QString strText;
    QRect rcDlu; // x, y, width, height in dialog units
    unsigned nStyle = 0;
    // Accessible name when neither the control's text nor its label gives one.
    QString strAccessibleName = {};
};

struct STemplate {
    int nId = 0;
    QString strCaption; // empty for a form
    QSize sizeDlu;      // client size in dialog units
    QString strFont = QStringLiteral("MS Shell Dlg");
    int nPointSize = 8;
    std::vector<SControl> controls;
};

// The installed family that stands in for a font a template names, chosen
// from a fixed preference list so every machine makes the same choice.
QString MapFontFamily(const QString& strTemplateFont);

// The template font: the mapped family at the pixel height the point size
// has at 96 dots per inch, independent of the screen's resolution.
QFont DialogFont(const QString& strTemplateFont, int nPointSize);

// Dialog base units of a font: the average width of the Latin letters and
// the line height, in pixels.
QSize DialogBaseUnits(const QFont& font);

// Dialog units to pixels: x * baseX / 4 and y * baseY / 8, rounded.
QRect MapDialogRect(const QRect& rcDlu, const QSize& baseUnits);
int MapDialogX(int nDlu, const QSize& baseUnits);
int MapDialogY(int nDlu, const QSize& baseUnits);

// Builds the template's controls as children of pForm (a QDialog or a plain
// form), sets its font and, for a dialog, its caption and fixed size. In a
// dialog, buttons 1 and 2 end it with accept and reject, as OK and Cancel do.
// Returns the base units used.
QSize BuildDialog(QWidget* pForm, const STemplate& dialogTemplate);

// Creates one control; the base units come from BuildDialog.
QWidget* CreateControl(QWidget* pParent, const SControl& control, const QSize& baseUnits);

inline QString IdName(int nId)
{
    return QString::number(nId);
}

} // namespace dlg

// The control with the given id among pParent's own children, or null (also
// when its type differs).
template <class T> T* DlgItem(const QWidget* pParent, int nId)
{
    return pParent ? pParent->findChild<T*>(dlg::IdName(nId), Qt::FindDirectChildrenOnly) : nullptr;
}

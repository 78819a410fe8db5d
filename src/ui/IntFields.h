#pragma once
#include <QString>
#include <QWidget>

#include <optional>
#include <vector>

// The data exchange of a dialog's integer edit fields: values out to the
// fields when it opens, and back in, checked, when OK is pressed.
struct SIntField {
    int nId;     // the edit control's id
    int* pValue; // the dialog member it exchanges with
    int nMin;    // inclusive bounds
    int nMax;
};

// An edit field's text as an integer: optional blanks, an optional sign,
// digits, optional blanks; nothing else, and nothing that overflows an int.
std::optional<int> ParseIntField(const QString& text);

// Writes each value into its field as a decimal number.
void PutIntFields(const QWidget* pDialog, const std::vector<SIntField>& fields);

// Takes the fields in turn. At the first that is not an integer, or lies
// outside its bounds, shows the string table's prompt (61712, or 61714 with
// the bounds), puts the focus on that field with its text selected, and
// returns false; the dialog stays open. The values before it are taken.
bool TakeIntFields(const QWidget* pDialog, const std::vector<SIntField>& fields);

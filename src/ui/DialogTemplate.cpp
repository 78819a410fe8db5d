#include "ui/DialogTemplate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QTextEdit>

#include <algorithm>
#include <cmath>

namespace dlg {

namespace {

constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

// Families with the same metrics as the fonts templates name (or, for the
// old bitmap dialog fonts, the nearest), then a plain fallback.
QStringList Candidates(const QString& strTemplateFont)
{
    const QString name = strTemplateFont.trimmed().toLower();
    if (name.contains(QLatin1String("times")))
        return {QStringLiteral("Liberation Serif"), QStringLiteral("Tinos"), QStringLiteral("DejaVu Serif")};
    if (name.contains(QLatin1String("courier")))
        return {QStringLiteral("Liberation Mono"), QStringLiteral("Cousine"), QStringLiteral("DejaVu Sans Mono")};
    return {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")};
}

// MulDiv: a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c)
{
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

// Windows shows "&x" as an underlined x and "&&" as "&".
QString WithoutMnemonic(const QString& strText)
{
    QString out;
    out.reserve(strText.size());
    for (qsizetype i = 0; i < strText.size(); ++i) {
        if (strText.at(i) == QLatin1Char('&') && i + 1 < strText.size())
            ++i;
        out.append(strText.at(i));
    }
    return out;
}

bool IsLabelled(EKind kind)
{
    return kind == EKind::Edit || kind == EKind::ComboBox || kind == EKind::ListBox || kind == EKind::RichText;
}

QWidget* NewStatic(const SControl& control, QWidget* pParent)
{
    auto* pLabel = new QLabel(pParent);
    pLabel->setTextFormat(Qt::PlainText);
    pLabel->setText(WithoutMnemonic(control.strText));
    Qt::Alignment align = Qt::AlignTop;
    if (control.nStyle & kCentre)
        align |= Qt::AlignHCenter;
    else if (control.nStyle & kRight)
        align |= Qt::AlignRight;
    else
        align |= Qt::AlignLeft;
    pLabel->setAlignment(align);
    pLabel->setWordWrap(!(control.nStyle & kNoWrap));
    return pLabel;
}

QWidget* NewWidget(const SControl& control, QWidget* pParent)
{
    const QString text = WithoutMnemonic(control.strText);
    switch (control.kind) {
    case EKind::Static:
        return NewStatic(control, pParent);
    case EKind::Edit: {
        auto* pEdit = new QLineEdit(control.strText, pParent);
        pEdit->setReadOnly(control.nStyle & kReadOnly);
        return pEdit;
    }
    case EKind::Button:
    case EKind::DefButton: {
        auto* pButton = new QPushButton(control.strText, pParent);
        pButton->setDefault(control.kind == EKind::DefButton);
        pButton->setAccessibleName(text);
        return pButton;
    }
    case EKind::CheckBox: {
        auto* pCheck = new QCheckBox(control.strText, pParent);
        pCheck->setAccessibleName(text);
        return pCheck;
    }
    case EKind::ComboBox: {
        auto* pCombo = new QComboBox(pParent);
        pCombo->setEditable(control.nStyle & kEditable);
        return pCombo;
    }
    case EKind::ListBox:
        return new QListWidget(pParent);
    case EKind::GroupBox: {
        auto* pGroup = new QGroupBox(control.strText, pParent);
        pGroup->setAccessibleName(text);
        return pGroup;
    }
    case EKind::Picture: {
        auto* pPicture = new QLabel(pParent);
        pPicture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return pPicture;
    }
    case EKind::RichText: {
        auto* pText = new QTextEdit(pParent);
        pText->setReadOnly(true);
        return pText;
    }
    }
    return nullptr;
}

} // namespace

QString MapFontFamily(const QString& strTemplateFont)
{
    static QHash<QString, QString> cache;
    const auto found = cache.constFind(strTemplateFont);
    if (found != cache.constEnd())
        return found.value();

    const QStringList installed = QFontDatabase::families();
    QString family;
    for (const QString& candidate : Candidates(strTemplateFont)) {
        if (installed.contains(candidate, Qt::CaseInsensitive)) {
            family = candidate;
            break;
        }
    }
    if (family.isEmpty())
        family = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    cache.insert(strTemplateFont, family);
    return family;
}

QFont DialogFont(const QString& strTemplateFont, int nPointSize)
{
    QFont font(MapFontFamily(strTemplateFont));
    font.setPixelSize(MulDiv(nPointSize, 96, 72));
    font.setStyleHint(QFont::SansSerif);
    return font;
}

// The height is the cell height with ascent and descent each rounded up,
// as the rasteriser of the templates' platform reports it.
QSize DialogBaseUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const QFontMetricsF metricsF(font);
    const int cx = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    const int cy = static_cast<int>(std::ceil(metricsF.ascent()) + std::ceil(metricsF.descent()));
    return QSize((cx / 26 + 1) / 2, cy);
}

int MapDialogX(int nDlu, const QSize& baseUnits)
{
    return MulDiv(nDlu, baseUnits.width(), 4);
}

int MapDialogY(int nDlu, const QSize& baseUnits)
{
    return MulDiv(nDlu, baseUnits.height(), 8);
}

// Each field is mapped on its own, as the dialog manager places template
// controls.
QRect MapDialogRect(const QRect& rcDlu, const QSize& baseUnits)
{
    return QRect(MapDialogX(rcDlu.x(), baseUnits), MapDialogY(rcDlu.y(), baseUnits),
                 MapDialogX(rcDlu.width(), baseUnits), MapDialogY(rcDlu.height(), baseUnits));
}

QWidget* CreateControl(QWidget* pParent, const SControl& control, const QSize& baseUnits)
{
    QWidget* pWidget = NewWidget(control, pParent);
    if (control.nId != kNoId)
        pWidget->setObjectName(IdName(control.nId));
    QRect rc = MapDialogRect(control.rcDlu, baseUnits);
    // A combo box's template height includes its drop-down list.
    if (control.kind == EKind::ComboBox)
        rc.setHeight(std::min(rc.height(), pWidget->sizeHint().height()));
    pWidget->setGeometry(rc);
    if (!control.strAccessibleName.isEmpty())
        pWidget->setAccessibleName(control.strAccessibleName);
    pWidget->setEnabled(!(control.nStyle & kDisabled));
    // The others show with their parent.
    if (control.nStyle & kHidden)
        pWidget->hide();
    return pWidget;
}

QSize BuildDialog(QWidget* pForm, const STemplate& dialogTemplate)
{
    pForm->setFont(DialogFont(dialogTemplate.strFont, dialogTemplate.nPointSize));
    const QSize base = DialogBaseUnits(pForm->font());
    const QSize size(MapDialogX(dialogTemplate.sizeDlu.width(), base),
                     MapDialogY(dialogTemplate.sizeDlu.height(), base));
    auto* pDialog = qobject_cast<QDialog*>(pForm);
    if (pDialog) {
        pDialog->setWindowTitle(dialogTemplate.strCaption);
        pDialog->setFixedSize(size);
    } else {
        pForm->resize(size);
    }

    const SControl* pPrevious = nullptr;
    QLabel* pPreviousLabel = nullptr;
    for (const SControl& control : dialogTemplate.controls) {
        QWidget* pWidget = CreateControl(pForm, control, base);
        // A field is named by the static text that precedes it.
        if (IsLabelled(control.kind) && pPrevious && pPrevious->kind == EKind::Static && pPreviousLabel) {
            if (control.strAccessibleName.isEmpty())
                pWidget->setAccessibleName(WithoutMnemonic(pPrevious->strText));
            pPreviousLabel->setText(pPrevious->strText); // the buddy shows the mnemonic
            pPreviousLabel->setBuddy(pWidget);
        }
        if (control.kind == EKind::GroupBox)
            pWidget->lower();
        if (pDialog && (control.nId == kIdOk || control.nId == kIdCancel)) {
            if (auto* pButton = qobject_cast<QPushButton*>(pWidget))
                QObject::connect(pButton, &QPushButton::clicked, pDialog,
                                 control.nId == kIdOk ? &QDialog::accept : &QDialog::reject);
        }
        pPrevious = &control;
        pPreviousLabel = qobject_cast<QLabel*>(pWidget);
        if (control.kind != EKind::Static)
            pPreviousLabel = nullptr;
    }
    return base;
}

} // namespace dlg

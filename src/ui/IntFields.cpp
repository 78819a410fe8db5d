#include "ui/IntFields.h"

#include <QLineEdit>

#include <string>

#include "ui/DialogTemplate.h"
#include "platform/StringTable.h"
#include "platform/MessageBox.h"

namespace {

constexpr const char* kCaption = "Zelvan";

void Refuse(QLineEdit* pEdit, const std::string& prompt)
{
    platform::ShowMessageBox(kCaption, prompt, platform::kMbOk | platform::kMbIconWarning);
    pEdit->setFocus(Qt::OtherFocusReason);
    pEdit->selectAll();
}

std::string RangePrompt(int nMin, int nMax)
{
    QString text = QString::fromStdString(res::LoadString(res::IDS_PARSE_INT_RANGE));
    text.replace(QLatin1String("%1"), QString::number(nMin));
    text.replace(QLatin1String("%2"), QString::number(nMax));
    return text.toStdString();
}

} // namespace

std::optional<int> ParseIntField(const QString& text)
{
    const QString t = text.trimmed();
    qsizetype i = 0;
    if (i < t.size() && (t[i] == QLatin1Char('-') || t[i] == QLatin1Char('+')))
        ++i;
    if (i == t.size())
        return std::nullopt;
    for (qsizetype k = i; k < t.size(); ++k)
        if (t[k] < QLatin1Char('0') || t[k] > QLatin1Char('9'))
            return std::nullopt;
    bool bOk = false;
    const int value = t.toInt(&bOk);
    return bOk ? std::optional<int>(value) : std::nullopt;
}

void PutIntFields(const QWidget* pDialog, const std::vector<SIntField>& fields)
{
    for (const SIntField& f : fields)
        if (auto* pEdit = DlgItem<QLineEdit>(pDialog, f.nId))
            pEdit->setText(QString::number(*f.pValue));
}

bool TakeIntFields(const QWidget* pDialog, const std::vector<SIntField>& fields)
{
    for (const SIntField& f : fields) {
        auto* pEdit = DlgItem<QLineEdit>(pDialog, f.nId);
        if (pEdit == nullptr)
            continue;
        const std::optional<int> value = ParseIntField(pEdit->text());
        if (!value) {
            Refuse(pEdit, res::LoadString(res::IDS_PARSE_INT));
            return false;
        }
        if (*value < f.nMin || *value > f.nMax) {
            Refuse(pEdit, RangePrompt(f.nMin, f.nMax));
            return false;
        }
        *f.pValue = *value;
    }
    return true;
}

#pragma once
#include <QImage>
#include <QString>
#include <QWidget>

// A small read-out panel: a white veil over the view's background picture with
// one or more lines of text. Lines are separated by '\n'; a line with a tab is
// split there into a label, one eighth of the width from the left edge, and a
// value that ends one eighth of the width from the right edge. A line without
// a value is centred.
class CMyTextBox : public QWidget {
    Q_OBJECT
public:
    explicit CMyTextBox(QWidget* pParent = nullptr);

    // Loads "2.bmp" from the working directory. A box whose owner never calls
    // it shows its veil over whatever lies behind it.
    void LoadBackground();

    // Shows nLines lines of strText (lines past the end of the text are empty
    // but still take their height). Always repaints, even for the same text.
    void SetText(const QString& strText, int nLines);

    const QString& Text() const { return m_strText; }
    int Lines() const { return m_nLines; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    QString m_strText = QStringLiteral("Text");
    int m_nLines = 0;
    QImage m_bmpBack;
};

#include "live/RtfTextDocument.h"

#include <QColor>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

namespace {

// 1440 twips to the inch, 96 pixels to the inch.
qreal Pixels(int nTwips)
{
    return nTwips / 15.0;
}

Qt::Alignment Alignment(ERtfAlign eAlign)
{
    switch (eAlign) {
    case ERtfAlign::Centre:
        return Qt::AlignHCenter;
    case ERtfAlign::Right:
        return Qt::AlignRight;
    case ERtfAlign::Justify:
        return Qt::AlignJustify;
    case ERtfAlign::Left:
        break;
    }
    return Qt::AlignLeft;
}

QTextBlockFormat BlockFormat(const SRtfParagraph& para)
{
    QTextBlockFormat block;
    block.setAlignment(Alignment(para.eAlign));
    block.setLeftMargin(Pixels(para.nLeftTwips));
    block.setRightMargin(Pixels(para.nRightTwips));
    block.setTextIndent(Pixels(para.nFirstTwips));
    block.setTopMargin(Pixels(para.nBeforeTwips));
    block.setBottomMargin(Pixels(para.nAfterTwips));
    // Tab stops count from the margin in the file and from the start of the
    // first line here.
    const int nLineStart = para.nLeftTwips + para.nFirstTwips;
    QList<QTextOption::Tab> tabs;
    for (int nTwips : para.tabStops) {
        if (nTwips > nLineStart)
            tabs.append(QTextOption::Tab(Pixels(nTwips - nLineStart), QTextOption::LeftTab));
    }
    if (tabs.isEmpty() && para.nFirstTwips < 0) {
        // A hanging indent (bullets, numbered lists): the tab after the
        // bullet stops where the following lines begin, as word processors do.
        tabs.append(QTextOption::Tab(Pixels(-para.nFirstTwips), QTextOption::LeftTab));
    }
    block.setTabPositions(tabs);
    return block;
}

QTextCharFormat CharFormat(const SRtfFormat& format, const SRtfDocument& note)
{
    QTextCharFormat chars;
    chars.setFontWeight(format.bBold ? QFont::Bold : QFont::Normal);
    chars.setFontItalic(format.bItalic);
    chars.setFontUnderline(format.bUnderline);
    chars.setFontStrikeOut(format.bStrike);
    chars.setFontPointSize(format.nHalfPoints / 2.0);
    if (format.nFont >= 0 && static_cast<std::size_t>(format.nFont) < note.fonts.size() &&
        !note.fonts[format.nFont].empty())
        chars.setFontFamilies({QString::fromStdString(note.fonts[format.nFont])});
    if (format.rgb)
        chars.setForeground(QColor::fromRgb(static_cast<QRgb>(*format.rgb)));
    if (format.eVertical == ERtfVertical::Super)
        chars.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (format.eVertical == ERtfVertical::Sub)
        chars.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    return chars;
}

} // namespace

void FillTextDocument(QTextDocument& document, const SRtfDocument& note)
{
    document.clear();
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    bool bFirst = true;
    for (const SRtfParagraph& para : note.paragraphs) {
        if (bFirst)
            cursor.setBlockFormat(BlockFormat(para));
        else
            cursor.insertBlock(BlockFormat(para));
        bFirst = false;
        for (const SRtfRun& run : para.runs)
            cursor.insertText(QString::fromStdString(run.strText), CharFormat(run.format, note));
    }
    cursor.endEditBlock();
}

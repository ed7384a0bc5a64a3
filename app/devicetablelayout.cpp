#include "devicetablelayout.h"
#include "ui_mainwindow.h"

#include <QComboBox>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTableWidget>
#include <QVector>
#include <QtMath>

#include <algorithm>
#include <numeric>

namespace {

// Below this a text is whole but hardly readable; the search for a font that fits stops here.
constexpr int SmallestPixelSize = 8;

// The device table's columns, in the order addDeviceRow fills them.
enum DeviceColumn { SourceIpColumn, NameColumn, MacColumn, VersionColumn, DeviceColumnCount };

constexpr int NameBytes = 10;
constexpr int MacDigits = 12;

int textWidth(const QFontMetricsF &metrics, const QString &text)
{
    return qCeil(metrics.horizontalAdvance(text));
}

// The character of alphabet that takes the most room.
QChar widestOf(const QFontMetricsF &metrics, const QString &alphabet)
{
    return *std::max_element(alphabet.cbegin(), alphabet.cend(), [&metrics](QChar a, QChar b) {
        return metrics.horizontalAdvance(a) < metrics.horizontalAdvance(b);
    });
}

QString joined(const QString &part, int count, QChar separator)
{
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << part;
    return parts.join(separator);
}

// The widest text each column can be given, caption included: four parts of three digits, a name of ten
// bytes in the widest ASCII character (a name decoded from multibyte characters has fewer, and none is wider
// than about one em), twelve hexadecimal digits, and four version numbers of two digits.
QVector<int> columnTextWidths(const QFont &font, const QStringList &captions)
{
    const QFontMetricsF metrics(font);
    const QChar digit = widestOf(metrics, QStringLiteral("0123456789"));
    QString printable;
    for (char c = '!'; c <= '~'; ++c)
        printable += QLatin1Char(c);

    const QString longest[DeviceColumnCount] = {
        joined(QString(3, digit), 4, QLatin1Char('.')),
        QString(NameBytes, widestOf(metrics, printable)),
        QString(MacDigits, widestOf(metrics, QStringLiteral("0123456789ABCDEF"))),
        joined(QString(2, digit), 4, QLatin1Char('.')),
    };
    QVector<int> widths;
    for (int column = 0; column < DeviceColumnCount; ++column)
        widths << qMax(textWidth(metrics, longest[column]), textWidth(metrics, captions.value(column)));
    return widths;
}

// The viewport's width while the vertical scroll bar shows, as the scroll area lays it out.
int viewportWidthBesideScrollBar(const QTableWidget *table)
{
    int width = table->contentsRect().width() - table->verticalScrollBar()->sizeHint().width();
    if (table->style()->styleHint(QStyle::SH_ScrollView_FrameOnlyAroundContents, nullptr, table))
        width -= table->style()->pixelMetric(QStyle::PM_ScrollView_ScrollBarSpacing, nullptr, table);
    return width;
}

// Whether the room the style leaves for the widget's text holds it whole (for a combo box: each of its items).
bool showsWholeText(const QWidget *widget)
{
    const QFontMetricsF metrics(widget->font());
    QStringList texts;
    QRect room;
    int besideText = 0;
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        texts << label->text();
        const int margin = label->margin();
        room = label->contentsRect().adjusted(margin + qMax(label->indent(), 0), margin, -margin, -margin);
    } else if (const auto *box = qobject_cast<const QComboBox *>(widget)) {
        for (int i = 0; i < box->count(); ++i)
            texts << box->itemText(i);
        QStyleOptionComboBox option;
        option.initFrom(box);
        option.editable = box->isEditable();
        option.frame = box->hasFrame();
        // The value is painted one pixel in from either side of the edit field.
        room = box->style()
                   ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box)
                   .adjusted(1, 0, -1, 0);
    } else if (const auto *button = qobject_cast<const QAbstractButton *>(widget)) {
        texts << button->text();
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        const auto *push = qobject_cast<const QPushButton *>(button);
        if (push && push->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        room = button->style()->subElementRect(push ? QStyle::SE_PushButtonContents : QStyle::SE_CheckBoxContents,
                                               &option, button);
        // A push button centres its icon, four pixels and the text together.
        if (push && !button->icon().isNull())
            besideText = button->iconSize().width() + 4;
    }
    if (qCeil(metrics.height()) > room.height())
        return false;
    return std::all_of(texts.cbegin(), texts.cend(),
                       [&](const QString &text) { return besideText + textWidth(metrics, text) <= room.width(); });
}

bool allShowWholeText(const QList<QWidget *> &owners, const QList<QWidget *> &texts)
{
    // A combo box keeps the minimum size hint of the first font it measured, which a layout would still
    // reserve; its size hint follows the font, so that is the width it gets.
    for (QWidget *widget : texts) {
        if (auto *box = qobject_cast<QComboBox *>(widget))
            box->setFixedWidth(box->sizeHint().width());
    }
    for (QWidget *owner : owners) {
        if (owner->layout())
            owner->layout()->activate(); // lay the widgets out for the font they have now
    }
    return std::all_of(texts.cbegin(), texts.cend(), showsWholeText);
}

// Gives the owners the font they inherit, or failing that the largest smaller pixel size of it at which every
// widget in texts shows its whole text. The owners share one font so that neighbours look alike.
void fitFont(const QList<QWidget *> &owners, const QList<QWidget *> &texts)
{
    for (QWidget *owner : owners)
        owner->setFont(QFont());
    QFont font = owners.first()->font();
    int pixels = QFontInfo(font).pixelSize();
    while (!allShowWholeText(owners, texts) && pixels > SmallestPixelSize) {
        font.setPixelSize(--pixels);
        for (QWidget *owner : owners)
            owner->setFont(font);
    }
}

} // namespace

void layOutDeviceTable(QTableWidget *table, const QStringList &captions)
{
    // Item views keep a focus-frame margin and one pixel on each side of a cell's text; the grid line takes
    // the cell's last pixel.
    const int cellMargins = 2 * (table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, table) + 1)
        + (table->showGrid() ? 1 : 0);
    const int room = viewportWidthBesideScrollBar(table);

    const auto fits = [&](const QVector<int> &widths) {
        return std::accumulate(widths.cbegin(), widths.cend(), 0) + DeviceColumnCount * cellMargins <= room;
    };

    table->setFont(QFont());
    QFont font = table->font();
    QVector<int> widths = columnTextWidths(font, captions);
    for (int pixels = QFontInfo(font).pixelSize() - 1; pixels >= SmallestPixelSize && !fits(widths); --pixels) {
        font.setPixelSize(pixels);
        widths = columnTextWidths(font, captions);
    }
    table->setFont(font);

    // Fixed widths cost nothing per row, unlike fitting columns to their contents.
    QHeaderView *header = table->horizontalHeader();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    header->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    for (const int column : {SourceIpColumn, MacColumn, VersionColumn})
        header->resizeSection(column, widths.at(column) + cellMargins);
}

void fitCaptionFonts(Ui::MainWindow &ui)
{
    // The other combo boxes keep the widths the form gives them: "Modbus TCP/RTU Conversion" would never fit
    // there, and their drop-down lists show every item whole.
    QList<QWidget *> parameterTexts;
    for (QLabel *label : ui.groupBox_Config->findChildren<QLabel *>())
        parameterTexts << label;
    parameterTexts << ui.checkBox_Random << ui.comboBox_Parity << ui.comboBox_DataBit << ui.comboBox_StopBit;
    fitFont({ui.groupBox_Config}, parameterTexts);

    const QList<QWidget *> buttons = {ui.pushButton_SearchDevice, ui.pushButton_DeviceRestart,
                                      ui.pushButton_FactoryReset, ui.pushButton_Yuyan, ui.pushButton_SaveConfigure};
    fitFont(buttons, buttons);
}

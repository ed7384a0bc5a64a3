#pragma once

#include "devicerecordprinting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QTableWidget>
#include <QWidget>
#include <QtTest>

// What the status bar adds to every search that ran its time out where the system counts no drops (the portable
// reader, Windows): the list is not vouched for.
inline QString uncountedDropsNote(bool chinese)
{
    return chinese ? QStringLiteral("本系统不统计被丢弃的回复，列表可能不完整；如缺少模块请再次搜索")
                   : QStringLiteral("This system does not count the replies it drops; the list may be incomplete. "
                                    "Search again if a module is missing.");
}

// A search's report as the status bar shows it with this build's reader: what was said, then that note if any.
inline QString searchReport(const QString &said, bool chinese, bool dropsCounted)
{
    if (dropsCounted)
        return said;
    return said.isEmpty() ? uncountedDropsNote(chinese) : said + QLatin1Char(' ') + uncountedDropsNote(chinese);
}

// Reaches the window's widgets by their objectNames, the way the form names them.
template<typename T> T *widgetNamed(const QWidget &window, const QString &name)
{
    return window.findChild<T *>(name);
}

// The fourteen widgets of the parameter form, in the order the form copies them to and from a record.
inline QStringList formWidgetNames()
{
    return {QStringLiteral("lineEdit_Baud"),   QStringLiteral("comboBox_DataBit"),    QStringLiteral("lineEdit_Gaw"),
            QStringLiteral("lineEdit_Lip"),    QStringLiteral("lineEdit_Lport"),      QStringLiteral("comboBox_Mode"),
            QStringLiteral("comboBox_Parity"), QStringLiteral("checkBox_Random"),     QStringLiteral("lineEdit_Sip"),
            QStringLiteral("lineEdit_Sport"),  QStringLiteral("comboBox_StopBit"),    QStringLiteral("lineEdit_Subnet"),
            QStringLiteral("comboBox_IpType"), QStringLiteral("comboBox_ModbusConvt")};
}

// What the form shows, one line per widget: its value and whether it can be edited on its own.
// (isEnabledTo the group box, so a disabled group box does not hide the rules' own states.)
inline QStringList formState(const QWidget &window)
{
    QStringList state;
    const QWidget *group = window.findChild<QWidget *>(QStringLiteral("groupBox_Config"));
    for (const QString &name : formWidgetNames()) {
        const QWidget *widget = window.findChild<QWidget *>(name);
        QString value;
        if (const auto *edit = qobject_cast<const QLineEdit *>(widget))
            value = edit->text();
        else if (const auto *combo = qobject_cast<const QComboBox *>(widget))
            value = QString::number(combo->currentIndex());
        else if (const auto *box = qobject_cast<const QCheckBox *>(widget))
            value = box->isChecked() ? QStringLiteral("checked") : QStringLiteral("unchecked");
        else
            value = QStringLiteral("missing");
        const bool enabled = widget && widget->isEnabledTo(group);
        state << QStringLiteral("%1=%2 %3").arg(name, value, enabled ? QStringLiteral("on") : QStringLiteral("off"));
    }
    return state;
}

// A user's click on one cell of the device table.
inline void clickCell(QTableWidget *table, int row, int column)
{
    const QRect cell = table->visualRect(table->model()->index(row, column));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

// The texts of one table row, column by column.
inline QStringList rowTexts(const QTableWidget *table, int row)
{
    QStringList texts;
    for (int column = 0; column < table->columnCount(); ++column)
        texts << (table->item(row, column) ? table->item(row, column)->text() : QStringLiteral("<no item>"));
    return texts;
}

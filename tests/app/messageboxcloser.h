#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QPair>
#include <QTimer>

// Answers every message box the window opens with its default button and
// remembers what it said, so modal boxes do not stall a test.
class MessageBoxCloser : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(MessageBoxCloser)

public:
    MessageBoxCloser()
    {
        connect(&timer, &QTimer::timeout, this, &MessageBoxCloser::closeOpenBoxes);
        timer.start(10);
    }

    QList<QPair<QString, QString>> seen; // title, text
    QList<QWidget *> parents; // the window each box belonged to

private:
    void closeOpenBoxes()
    {
        const auto widgets = QApplication::topLevelWidgets();
        for (QWidget *widget : widgets) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (box && box->isVisible()) {
                seen.append({box->windowTitle(), box->text()});
                parents.append(box->parentWidget());
                box->done(QMessageBox::Ok);
            }
        }
    }

    QTimer timer;
};

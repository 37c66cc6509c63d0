#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace shoulu {

// Modal message boxes with the application's title and an OK button.
//     MessageBox::setTitle(QStringLiteral("...")); // once, at start
//     MessageBox::setNextAnswer(QMessageBox::Ok); // tests: the next box is answered, not shown
//     MessageBox::warning(this, QStringLiteral("...")); MessageBox::lastText() == "..."
class MessageBox
{
public:
    // The caption of every box. Kept here rather than as the application display name, which
    // some window systems append to every window's caption.
    static void setTitle(const QString& title);

    // Text alone, without an icon ("文件不完整").
    static QMessageBox::StandardButton plain(QWidget* parent, const QString& text);
    // For a problem the user can do nothing about here ("清空出错").
    static QMessageBox::StandardButton warning(QWidget* parent, const QString& text);
    // For an error reported by a component (a store message), as an unhandled failure would be.
    static QMessageBox::StandardButton error(QWidget* parent, const QString& text);
    // A question with 确定 and 取消; true for 确定. Closing the box counts as 取消.
    static bool confirm(QWidget* parent, const QString& text);

    // The next box returns this answer at once instead of waiting for the user. One-shot.
    static void setNextAnswer(QMessageBox::StandardButton button);
    // Every later box is answered with this until cleared with NoButton; for tests that must
    // never block on a box they do not expect.
    static void setAutoAnswer(QMessageBox::StandardButton button);
    // Text of the most recent box, shown or answered; empty when none since clearLastText().
    static QString lastText();
    // Caption and icon of that box.
    static QString lastTitle();
    static QMessageBox::Icon lastIcon();
    static int shownCount();
    static void clearLastText();

private:
    static QMessageBox::StandardButton show(QWidget* parent, QMessageBox::Icon icon, const QString& text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok);
};

} // namespace shoulu
